#include "app/displayprobe.h"

#include <QFileInfo>
#include <QTcpSocket>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{

// Connects to a Unix socket; an abstract name starts with a NUL byte.
bool unixSocketAnswers(const QByteArray &name)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || static_cast<std::size_t>(name.size()) >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size());
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), length) == 0;
    ::close(fd);
    return connected;
}

bool xDisplayAnswers()
{
    QString host;
    int number = 0;
    if (!parseXDisplay(qEnvironmentVariable("DISPLAY"), &host, &number))
        return false;
    if (host.isEmpty()) {
        const QByteArray path = "/tmp/.X11-unix/X" + QByteArray::number(number);
        return unixSocketAnswers(path) || unixSocketAnswers('\0' + path);
    }
    QTcpSocket socket;
    socket.connectToHost(host, static_cast<quint16>(6000 + number));
    return socket.waitForConnected(1000);
}

bool waylandDisplayAnswers()
{
    const QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty())
        return false;
    QString path = display;
    if (!QFileInfo(display).isAbsolute()) {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (runtime.isEmpty())
            return false;
        path = runtime + QLatin1Char('/') + display;
    }
    return unixSocketAnswers(QFile::encodeName(path));
}

} // namespace

bool parseXDisplay(const QString &display, QString *host, int *number)
{
    const qsizetype colon = display.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return false;
    QString name = display.left(colon);
    if (name == QStringLiteral("unix"))
        name.clear();
    QString rest = display.mid(colon + 1);
    const qsizetype dot = rest.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        rest.truncate(dot);
    bool ok = false;
    const int value = rest.toInt(&ok);
    if (!ok || value < 0 || value > 59535)
        return false;
    *host = name;
    *number = value;
    return true;
}

bool displayReachable()
{
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM").section(QLatin1Char(':'), 0, 0);
    if (platform == QStringLiteral("offscreen") || platform == QStringLiteral("minimal"))
        return true;
    if (platform == QStringLiteral("xcb"))
        return xDisplayAnswers();
    if (platform.startsWith(QStringLiteral("wayland")))
        return waylandDisplayAnswers();
    return waylandDisplayAnswers() || xDisplayAnswers();
}
