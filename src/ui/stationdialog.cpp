#include "ui/stationdialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

StationDialog::StationDialog(bool editing, const QString &name, const QString &address, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(editing ? QStringLiteral("Edit Station") : QStringLiteral("Add Station"));
    setObjectName(QStringLiteral("stationDialog"));
    m_name = new QLineEdit(name, this);
    m_name->setObjectName(QStringLiteral("stationName"));
    m_address = new QLineEdit(address, this);
    m_address->setObjectName(QStringLiteral("stationAddress"));
    m_address->setMinimumWidth(fontMetrics().averageCharWidth() * 50);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Station &Name :"), m_name);
    form->addRow(QStringLiteral("Station &URL :"), m_address);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("&Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    m_name->selectAll();
}

StationDialog::~StationDialog() = default;

QString StationDialog::stationName() const
{
    return m_name->text();
}

QString StationDialog::stationAddress() const
{
    return m_address->text();
}

QString StationDialog::defaultName()
{
    return QStringLiteral("Station Name");
}

QString StationDialog::defaultAddress()
{
    return QStringLiteral("http://127.0.0.1:8000/listen.pls");
}
