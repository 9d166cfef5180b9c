#pragma once

#include <QDialog>

class QLineEdit;

// The Add/Edit Station dialog: a name and an address. It is opened with open(),
// so the window behind it keeps running; the caller reads the boxes once it is
// accepted.
class StationDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StationDialog)

public:
    // Editing shows "Edit Station"; adding shows "Add Station".
    StationDialog(bool editing, const QString &name, const QString &address, QWidget *parent = nullptr);
    ~StationDialog() override;

    QString stationName() const;
    QString stationAddress() const;

    // The texts of a new entry when nothing else is given.
    static QString defaultName();
    static QString defaultAddress();

private:
    QLineEdit *m_name = nullptr;
    QLineEdit *m_address = nullptr;
};
