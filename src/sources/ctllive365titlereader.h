#pragma once

#include <QByteArray>
#include <QObject>

// Follows a Live365 station through the Live365 web pages and reports the
// artist and title of each song, since such stations send no titles in-band.
class ctlLive365TitleReader final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ctlLive365TitleReader)

public:
    explicit ctlLive365TitleReader(QObject *parent = nullptr);
    ~ctlLive365TitleReader() override;

    // Starts the chain with the name request for a station number.
    void GetL365StationFromNumber(const QByteArray &sStationNumber, bool AFLMode = false);

    // The station's member name. Setting a non-empty name starts reading its
    // window page; setting an empty one stops everything.
    QByteArray StationName() const { return m_stationName; }
    void setStationName(const QByteArray &name);

    // Stops everything (keeping StationName) and returns the text for an error code.
    QString StdErrorMessage(qint32 lngErrorValue);

Q_SIGNALS:
    void TitleChange(const QByteArray &artist, const QByteArray &title);
    void TitleCallBack(const QByteArray &memberName);
    void Error(qint32 code);

private:
    QByteArray m_stationName;
};
