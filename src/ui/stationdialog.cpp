#include "ui/stationdialog.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace
{

bool hasControlCharacter(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

} // namespace

StationDialog::StationDialog(bool editing, const QString &name, const QString &address, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(editing ? tr("Edit Station") : tr("Add Station"));
    setObjectName(QStringLiteral("stationDialog"));
    m_name = new QLineEdit(name, this);
    m_name->setObjectName(QStringLiteral("stationName"));
    m_name->setPlaceholderText(tr("Named after its address when left empty"));
    m_address = new QLineEdit(address, this);
    m_address->setObjectName(QStringLiteral("stationAddress"));
    m_address->setPlaceholderText(tr("http://... (.pls, .m3u or stream address)"));
    m_address->setMinimumWidth(fontMetrics().averageCharWidth() * 50);
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("stationProblem"));
    m_problem->setWordWrap(true);

    auto *form = new QFormLayout;
    form->addRow(tr("Station &Name :"), m_name);
    form->addRow(tr("Station &URL :"), m_address);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setText(tr("&OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("&Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_name, &QLineEdit::textChanged, this, &StationDialog::updateOk);
    connect(m_address, &QLineEdit::textChanged, this, &StationDialog::updateOk);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
    (!name.isEmpty() && address.isEmpty() ? m_address : m_name)->setFocus();
    m_name->selectAll();
    updateOk();
}

StationDialog::~StationDialog() = default;

QString StationDialog::stationName() const
{
    const QString name = m_name->text().trimmed();
    return name.isEmpty() ? nameFor(stationAddress()) : name;
}

QString StationDialog::nameFor(const QString &address)
{
    const QUrl url(address.trimmed());
    if (!url.host().isEmpty())
        return url.host();
    return QFileInfo(url.isLocalFile() ? url.toLocalFile() : address.trimmed()).completeBaseName();
}

QString StationDialog::stationAddress() const
{
    return m_address->text().trimmed();
}

QString StationDialog::addressProblem(const QString &address)
{
    const QString text = address.trimmed();
    if (text.isEmpty())
        return tr("Enter the station's address.");
    if (hasControlCharacter(text))
        return tr("The address holds control characters.");
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
        if (!url.isValid() || url.host().isEmpty())
            return tr("This is not a valid web address.");
        return QString();
    }
    // A playlist or preset file on this computer.
    const QFileInfo file(url.isLocalFile() ? url.toLocalFile() : text);
    if (file.isAbsolute() && file.isFile())
        return QString();
    return tr("Not a station address: use http:// or https://, or a playlist file.");
}

QString StationDialog::entryProblem(const QString &name, const QString &address)
{
    if (hasControlCharacter(name))
        return tr("The name holds control characters.");
    return addressProblem(address);
}

QString StationDialog::defaultAddress()
{
    return QStringLiteral("http://127.0.0.1:8000/listen.pls");
}

void StationDialog::updateOk()
{
    const QString problem = entryProblem(m_name->text(), m_address->text());
    m_ok->setEnabled(problem.isEmpty());
    m_problem->setText(problem);
}

void StationDialog::accept()
{
    // Enter in a box reaches here even while OK is disabled.
    if (!entryProblem(m_name->text(), m_address->text()).isEmpty())
        return;
    QDialog::accept();
}
