#include "app/headlessfrontend.h"

#include <QCoreApplication>

#include <cstdlib>
#include <sys/ioctl.h>
#include <unistd.h>

namespace
{

int terminalWidth(std::FILE *stream)
{
    struct winsize size = {};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

void writeText(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

} // namespace

HeadlessFrontEnd::HeadlessFrontEnd()
    : HeadlessFrontEnd(stdout, stderr, isatty(fileno(stdout)) != 0, terminalWidth(stdout))
{}

HeadlessFrontEnd::HeadlessFrontEnd(std::FILE *out, std::FILE *err, bool outIsTerminal, int width)
    : m_out(out)
    , m_err(err)
    , m_terminal(outIsTerminal)
    , m_width(width > 1 ? width : 80)
{}

QString HeadlessFrontEnd::messageText(const QString &text)
{
    QString result = text;
    for (qsizetype i = 0; i < result.size(); ++i) {
        if (result.at(i) == QLatin1Char('\r')) {
            if (i + 1 < result.size() && result.at(i + 1) == QLatin1Char('\n'))
                result.remove(i, 1);
            else
                result[i] = QLatin1Char('\n');
        }
    }
    return result;
}

void HeadlessFrontEnd::showMessage(const QString &text)
{
    writeError(messageText(text));
}

void HeadlessFrontEnd::showSetupWindow(bool)
{
    writeError(QCoreApplication::translate("HeadlessFrontEnd",
                                           "The recording setup window cannot be shown without a display."));
}

void HeadlessFrontEnd::showRecordingDisplay()
{
    // The status lines on standard output stand in for the recording display.
}

void HeadlessFrontEnd::captionChanged(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    showStatus(QStringLiteral("Status: "), caption);
}

void HeadlessFrontEnd::trayChanged(const platform::TrayState &state)
{
    if (state.tip == m_tip)
        return;
    m_tip = state.tip;
    showStatus(QStringLiteral("Tray: "), state.tip);
}

void HeadlessFrontEnd::exitProcess(int status)
{
    endStatusLine();
    std::fflush(m_out);
    std::fflush(m_err);
    std::_Exit(status);
}

void HeadlessFrontEnd::writeError(const QString &line)
{
    endStatusLine();
    writeText(m_err, line + QLatin1Char('\n'));
    std::fflush(m_err);
}

void HeadlessFrontEnd::showStatus(const QString &prefix, const QString &text)
{
    if (!m_terminal) {
        writeText(m_out, prefix + text + QLatin1Char('\n'));
        std::fflush(m_out);
        return;
    }
    // One line with both, cut to the terminal's width so that it never wraps
    // (a wrapped line cannot be rewritten in place).
    QString line = m_caption;
    if (!m_tip.isEmpty())
        line += (line.isEmpty() ? QString() : QStringLiteral("  |  ")) + m_tip;
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (line.size() >= m_width)
        line.truncate(m_width - 1);
    writeText(m_out, QStringLiteral("\r\x1b[K") + line);
    std::fflush(m_out);
    m_statusLineOpen = true;
}

void HeadlessFrontEnd::endStatusLine()
{
    if (!m_statusLineOpen)
        return;
    std::fputc('\n', m_out);
    std::fflush(m_out);
    m_statusLineOpen = false;
}
