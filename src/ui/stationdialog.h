#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The Add/Edit Station dialog: a name and an address. It is opened with open(),
// so the window behind it keeps running; the caller reads the boxes once it is
// accepted. OK stays disabled, with the reason shown, until both boxes hold
// something a station can be made of.
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

    // Why the address cannot be a station ("" when it can): it must be an
    // http(s) address with a host, or a playlist file that exists, and carry
    // no control characters (it goes into requests and the station file).
    static QString addressProblem(const QString &address);
    // The name of a station added without one: its host, or its file's name.
    static QString nameFor(const QString &address);
    // Why the pair cannot be accepted ("" when it can); the name may be empty.
    static QString entryProblem(const QString &name, const QString &address);

    // The Scheduler's "Play :" text when no station is chosen.
    static QString defaultAddress();

    void accept() override;

private:
    void updateOk();

    QLineEdit *m_name = nullptr;
    QLineEdit *m_address = nullptr;
    QLabel *m_problem = nullptr;
    QPushButton *m_ok = nullptr;
};
