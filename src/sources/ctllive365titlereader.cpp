#include "sources/ctllive365titlereader.h"

// The web requests of the reader are added with the Live365 support; until then
// the engine can hold the component and set or clear the station name.

ctlLive365TitleReader::ctlLive365TitleReader(QObject *parent)
    : QObject(parent)
{
}

ctlLive365TitleReader::~ctlLive365TitleReader() = default;

void ctlLive365TitleReader::GetL365StationFromNumber(const QByteArray &, bool)
{
}

void ctlLive365TitleReader::setStationName(const QByteArray &name)
{
    m_stationName = name;
}

QString ctlLive365TitleReader::StdErrorMessage(qint32)
{
    setStationName({});
    return {};
}
