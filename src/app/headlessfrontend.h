#pragma once

#include <QString>

#include <cstdio>

#include "app/programwindows.h"
#include "platform/frontend.h"

// The front end without a display. A message box writes its text and a newline
// to standard error and returns as if OK was pressed. Changes of the status
// caption and of the tray tip go to standard output: on a terminal one status line
// is rewritten in place; otherwise each change is a line of its own
// ("Status: ..." or "Tray: ...").
class HeadlessFrontEnd final : public platform::FrontEnd, public ProgramWindows
{
public:
    HeadlessFrontEnd();
    // For tests: explicit streams and terminal mode; width is the terminal's columns.
    HeadlessFrontEnd(std::FILE *out, std::FILE *err, bool outIsTerminal, int width = 80);

    void showMessage(const QString &text) override;
    void showSetupWindow(bool fillFromConfiguration) override;
    void showRecordingDisplay() override;
    void captionChanged(const QString &caption) override;
    void trayChanged(const platform::TrayState &state) override;
    // Ends the status line, flushes both streams and ends the process at once.
    void exitProcess(int status) override;
    bool showsWindows() const override { return false; }

    // Text for a message box: a lone carriage return becomes a line break.
    static QString messageText(const QString &text);

private:
    void writeError(const QString &line);
    void showStatus(const QString &prefix, const QString &text);
    void endStatusLine();

    std::FILE *m_out;
    std::FILE *m_err;
    bool m_terminal;
    int m_width;
    bool m_statusLineOpen = false;
    QString m_caption;
    QString m_tip;
};
