#pragma once

#include <QGroupBox>

#include "config/capturetarget.h"
#include "ui/messagesink.h"

class QButtonGroup;
class QLabel;
class QLineEdit;
class QMimeData;
class QRadioButton;
class QToolButton;
struct SetupSettings;

// The setup window's "Recording" box: the station title, where to save (a
// folder, or a file in single-file mode) and the capture mode with the dated
// archive's header. It shows a CaptureTarget and hands it every edit.
class CaptureBox final : public QGroupBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CaptureBox)

public:
    CaptureBox(MessageSink tell, QWidget *parent = nullptr);
    ~CaptureBox() override;

    const CaptureTarget &target() const { return m_target; }
    void setTitle(const QString &title);
    // The box's controls in the order the Tab key visits them.
    QList<QWidget *> tabOrder() const;

    // Accepts or refuses the path box's text (saying why); true when accepted.
    bool acceptPath();
    void chooseCaptureMode(int mode);
    // The path box's drop rule: a folder in folder mode, a file in file mode.
    void dropPath(const QMimeData *mime);
    // The station passed its check: a folder mode takes the default folder.
    void stationChecked();

    void applySettings(const SetupSettings &settings);
    void saveInto(SetupSettings &settings) const;
    // The title and the target into a preset and back.
    void putIn(Preset &preset) const;
    void takeFrom(const Preset &preset);

Q_SIGNALS:
    // The user changed something the next recording would use.
    void changed();
    // Whether the target can be recorded to may have changed.
    void targetChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void browsePath();
    // Shows what the target holds.
    void showTarget();

    MessageSink m_tell;
    CaptureTarget m_target;
    QLineEdit *m_title = nullptr;
    QLabel *m_pathLabel = nullptr;
    QLineEdit *m_path = nullptr;
    QToolButton *m_browsePath = nullptr;
    QButtonGroup *m_modes = nullptr;
    QRadioButton *m_streamTitles = nullptr;
    QGroupBox *m_dateMode = nullptr;
    QLineEdit *m_archivePrefix = nullptr;
};
