#include "engine/startup.h"

#include "config/inivalues.h"

void keepAdvancedValue()
{
    const QString section = QStringLiteral("Advanced");
    const QString text = readIniValue(section, section, kestraneIniPath()).trimmed();
    bool ok = false;
    qint32 value = text.toInt(&ok);
    if (!ok)
        value = 0;
    writeIniValue(section, section, QString::number(value), kestraneIniPath());
}
