#pragma once

#include <QPointer>
#include <QWidget>

#include <array>

#include "engine/recordingstatus.h"
#include "platform/mixer.h"
#include "ui/confirmquitdialog.h"
#include "ui/marquee.h"

class Lamp;
class Preset;
class ProportionalResizer;
class QMenu;
class QTimer;
class QToolButton;
class Recorder;
class SegmentDisplay;
class Slider;
class TitleBox;

// The small borderless window that shows a running recording: recording,
// listening and error lamps, elapsed or remaining time, bit rate, the scrolling
// title, six buttons and the listening volume. It keeps no recording state of
// its own: it shows the recorder's status as statusChanged reports it and acts
// through the recorder's commands. Its own 100 ms tick paces the title's scroll
// and follows the system volume.
class RecordingDisplay final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RecordingDisplay)

public:
    enum class TimeMode
    {
        Elapsed,
        Remaining,
    };

    // What the display shows, for tests and for whoever wants to read it.
    struct Face
    {
        bool recordingLamp = false;
        bool listeningLamp = false;
        bool errorLamp = false;
        bool minusSigns = false;
        bool digitsIdle = true;
        std::array<qint32, 3> digits{};
        QString timeCaption;
        QString bitRate;
        bool bitRateLit = false;
        QString title;
        int titleLeft = 0;
        qint64 titleMoved = 0; // pixels the title has scrolled in all
        bool recordEnabled = true;
        bool timeModeEnabled = false;
        int sliderValue = -1;
    };

    // The display of the recorder (which may be nullptr: then it shows the
    // stopped state). Record starts a recording of the draft as it is when
    // pressed. The slider follows the master volume of mixer; Exit during a
    // recording asks quitQuestion.
    RecordingDisplay(Recorder *recorder, const Preset &draft, platform::Mixer &mixer, QuitQuestion &quitQuestion,
                     QWidget *parent = nullptr);
    ~RecordingDisplay() override;

    Face face() const;
    // Shows the display (restored if minimised) and brings it forward.
    void showAndRaise();
    // The tray's display entry: a shown display is hidden when mayHide (there is
    // a tray to bring it back from), otherwise it is shown and brought forward.
    void toggle(bool mayHide);
    TimeMode timeMode() const { return m_timeMode; }
    Slider *volumeSlider() const { return m_slider; }
    ConfirmQuitDialog *confirmation() const { return m_confirmation; }
    // The width the title has for itself.
    int titleWidth() const;

    // The recorder's status changed: shown at once, without moving the title.
    void showStatus(const RecordingStatus &status);
    // The 100 ms tick: everything as showStatus, plus one scroll step of the
    // title and the system volume check. Public for tests.
    void tick();
    // The "Rec Time" caption and the timer-mode button.
    void toggleTimeMode();
    // The Exit button: asks first while a recording runs unpaused.
    void quit();
    // Places the display right under a window of that frame, as wide as it.
    void dockUnder(const QRect &frame);
    // The menu a right click opens (the tray's menu: it keeps everything
    // reachable where the desktop has no tray).
    void setContextMenu(QMenu *menu);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void refresh(bool poll);
    void showStopped();
    void followSystemVolume();
    void onSliderChanged(int value);
    void onSliderReleased();
    QToolButton *addButton(int index, const QString &tip);
    void layOutBase();
    void updateMarqueeOverhang();
    void setDisplayEntryShown(bool shown);

    QPointer<Recorder> m_recorder;
    const Preset &m_draft;
    platform::Mixer &m_mixer;
    QuitQuestion &m_quitQuestion;
    RecordingStatus m_status;
    TimeMode m_timeMode = TimeMode::Elapsed;
    Marquee m_marquee;
    bool m_sliderPressed = false;
    bool m_sliderKey = false;
    qint32 m_lastMaster = -1; // the system volume at the last tick

    Lamp *m_recordingLamp;
    Lamp *m_listeningLamp;
    Lamp *m_errorLamp;
    Lamp *m_timeCaption;
    std::array<SegmentDisplay *, 3> m_digits;
    Lamp *m_bitRate;
    TitleBox *m_title;
    Slider *m_slider;
    QToolButton *m_record;
    QToolButton *m_stop;
    QToolButton *m_pause;
    QToolButton *m_listen;
    QToolButton *m_timeModeButton;
    QToolButton *m_quit;
    ProportionalResizer *m_resizer;
    QTimer *m_tickTimer;
    QPointer<ConfirmQuitDialog> m_confirmation;
    QPointer<QMenu> m_contextMenu;
    QPoint m_dragOffset;
    bool m_dragging = false;
};

// Where a window of that frame and the display docked under it go so that both
// lie wholly inside the screen area: the frame moves as little as it must and
// gets lower when the two are taller than the area; a frame that cannot get
// low enough has the display over its bottom edge rather than off screen.
struct DockedPlaces
{
    QRect frame;
    QRect display;
};
DockedPlaces fitDockedPair(const QRect &frame, int displayHeight, const QRect &area, int minimumFrameHeight);
