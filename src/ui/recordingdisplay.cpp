#include "ui/recordingdisplay.h"

#include <QFontMetrics>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <algorithm>
#include <cmath>

#include "config/setupsettings.h"
#include "engine/recorder.h"
#include "platform/mastervolume.h"
#include "ui/confirmquitdialog.h"
#include "ui/displayicons.h"
#include "ui/lamp.h"
#include "ui/proportionalresizer.h"
#include "ui/segmentdisplay.h"
#include "ui/slider.h"
#include "ui/titlebox.h"

namespace
{

constexpr int kTickMs = 100;
// The layout is drawn for this size; the resizer scales it from there.
constexpr int kBaseWidth = 372;
constexpr int kBaseHeight = 128;
const QRect kPanel(6, 6, 324, 84);
const QString kErrorMark = QStringLiteral("[ERR]");
QString recTimeCaption()
{
    return RecordingDisplay::tr("REC TIME");
}

QString timeLeftCaption()
{
    return RecordingDisplay::tr("TIME LEFT");
}

// Slider values run from -101 (top, loudest) to -1 (bottom, silent).
constexpr int kSliderTop = -101;
constexpr int kSliderBottom = -1;
qint32 volumeFromSlider(int value)
{
    return -1 - value;
}
int sliderFromVolume(qint32 volume)
{
    return -1 - volume;
}

QFont labelFont(int pixels, bool bold = false)
{
    QFont font(QStringLiteral("Verdana"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

} // namespace

RecordingDisplay::RecordingDisplay(Recorder *recorder, const Preset &draft, platform::Mixer &mixer,
                                   QuitQuestion &quitQuestion, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , m_recorder(recorder)
    , m_draft(draft)
    , m_mixer(mixer)
    , m_quitQuestion(quitQuestion)
    , m_marquee([this](const QString &text) { return QFontMetrics(m_title->font()).horizontalAdvance(text); })
    , m_recordingLamp(new Lamp(tr("Recording"), this))
    , m_listeningLamp(new Lamp(tr("Listening"), this))
    , m_errorLamp(new Lamp(tr("Err"), this))
    , m_timeCaption(new Lamp(recTimeCaption(), this))
    , m_digits{new SegmentDisplay(this), new SegmentDisplay(this), new SegmentDisplay(this)}
    , m_bitRate(new Lamp(tr("B: %1").arg(0), this))
    , m_title(new TitleBox(this))
    , m_slider(new Slider(this))
    , m_record(addButton(0, tr("Start Record")))
    , m_stop(addButton(1, tr("Stop")))
    , m_pause(addButton(2, tr("Pause")))
    , m_listen(addButton(3, tr("Listen")))
    , m_timeModeButton(addButton(4, tr("Timer Mode")))
    , m_quit(addButton(5, tr("Exit")))
    , m_resizer(new ProportionalResizer(this))
    , m_tickTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("RecordingDisplay"));
    setWindowTitle(QStringLiteral("Vorlane"));
    setAttribute(Qt::WA_OpaquePaintEvent);

    m_record->setIcon(displayIcon(DisplayIcon::Record));
    m_stop->setIcon(displayIcon(DisplayIcon::Stop));
    m_pause->setIcon(displayIcon(DisplayIcon::Pause));
    m_listen->setIcon(displayIcon(DisplayIcon::Listen));
    m_timeModeButton->setIcon(displayIcon(DisplayIcon::TimeMode));
    m_quit->setIcon(displayIcon(DisplayIcon::Quit));
    connect(m_record, &QToolButton::clicked, this, [this] {
        if (m_recorder)
            m_recorder->start({m_draft, {}, false, false, loadExternalPlayer()});
    });
    connect(m_stop, &QToolButton::clicked, this, [this] {
        if (m_recorder)
            m_recorder->stopRecording();
    });
    connect(m_pause, &QToolButton::clicked, this, [this] {
        if (m_recorder)
            m_recorder->togglePause();
    });
    connect(m_listen, &QToolButton::clicked, this, [this] {
        if (m_recorder)
            m_recorder->toggleListening();
    });
    connect(m_timeModeButton, &QToolButton::clicked, this, &RecordingDisplay::toggleTimeMode);
    // Pause and Listen stay down while they are in effect; the status sets them.
    m_pause->setCheckable(true);
    m_listen->setCheckable(true);
    connect(m_quit, &QToolButton::clicked, this, &RecordingDisplay::quit);

    m_timeCaption->setBulbVisible(false);
    m_timeCaption->setOn(true);
    m_timeCaption->setClickable(true);
    m_timeCaption->setCursor(Qt::PointingHandCursor);
    m_timeCaption->setToolTip(tr("Timer Mode"));
    connect(m_timeCaption, &Lamp::clicked, this, &RecordingDisplay::toggleTimeMode);
    m_bitRate->setBulbVisible(false);

    m_slider->setOrientation(Qt::Vertical);
    m_slider->setMinimum(kSliderTop);
    m_slider->setMaximum(kSliderBottom);
    m_slider->setToolTipText([](int value) { return tr("Volume %1%").arg(volumeFromSlider(value)); });
    m_slider->setValue(kSliderBottom);
    if (m_recorder)
        m_slider->setValue(sliderFromVolume(m_recorder->volume()));
    connect(m_slider, &Slider::valueChanged, this, &RecordingDisplay::onSliderChanged);
    connect(m_slider, &Slider::pressed, this, [this] { m_sliderPressed = true; });
    connect(m_slider, &Slider::released, this, &RecordingDisplay::onSliderReleased);
    connect(m_slider, &Slider::keyPressed, this, [this] { m_sliderKey = true; });
    m_lastMaster = masterVolume(m_mixer);

    layOutBase();

    if (recorder) {
        connect(recorder, &Recorder::statusChanged, this, &RecordingDisplay::showStatus);
        m_status = recorder->status();
    }
    m_tickTimer->setInterval(kTickMs);
    connect(m_tickTimer, &QTimer::timeout, this, &RecordingDisplay::tick);
    refresh(false);
}

RecordingDisplay::~RecordingDisplay()
{
    delete m_confirmation.data();
    setDisplayEntryShown(false);
}

QToolButton *RecordingDisplay::addButton(int index, const QString &tip)
{
    auto *button = new QToolButton(this);
    button->setToolTip(tip);
    button->setAutoRaise(false);
    button->setFocusPolicy(Qt::TabFocus);
    const double step = (kPanel.width() - 50.0) / 5.0;
    button->setGeometry(int(std::lround(kPanel.left() + index * step)), 96, 50, 26);
    return button;
}

void RecordingDisplay::layOutBase()
{
    resize(kBaseWidth, kBaseHeight);
    const QFont small = labelFont(11, true);
    for (Lamp *lamp : {m_recordingLamp, m_listeningLamp, m_errorLamp, m_timeCaption})
        lamp->setFont(small);
    m_recordingLamp->setGeometry(14, 11, 86, 16);
    m_listeningLamp->setGeometry(100, 11, 84, 16);
    m_errorLamp->setGeometry(184, 11, 50, 16);
    m_timeCaption->setGeometry(244, 11, 80, 16);
    for (int i = 0; i < 3; ++i)
        m_digits[i]->setGeometry(12 + i * 68, 31, 58, 30);
    m_bitRate->setFont(labelFont(13, true));
    m_bitRate->setGeometry(222, 36, 102, 20);
    m_title->setFont(labelFont(13));
    m_title->setGeometry(14, 66, 308, 20);
    updateMarqueeOverhang();
    m_slider->setGeometry(340, 6, 24, 116);
    m_resizer->refresh();
}

int RecordingDisplay::titleWidth() const
{
    return m_title->width();
}

RecordingDisplay::Face RecordingDisplay::face() const
{
    Face face;
    face.recordingLamp = m_recordingLamp->isOn();
    face.listeningLamp = m_listeningLamp->isOn();
    face.errorLamp = m_errorLamp->isOn();
    face.minusSigns = m_digits[0]->isMinusLit() && m_digits[1]->isMinusLit() && m_digits[2]->isMinusLit();
    face.digitsIdle = m_digits[0]->isIdle();
    for (int i = 0; i < 3; ++i)
        face.digits[i] = m_digits[i]->value();
    face.timeCaption = m_timeCaption->caption();
    face.bitRate = m_bitRate->caption();
    face.bitRateLit = m_bitRate->isOn();
    face.title = m_title->text();
    face.titleLeft = m_title->left();
    face.titleMoved = m_marquee.pixelsMoved();
    face.recordEnabled = m_record->isEnabled();
    face.timeModeEnabled = m_timeModeButton->isEnabled();
    face.sliderValue = m_slider->value();
    return face;
}

void RecordingDisplay::showStatus(const RecordingStatus &status)
{
    m_status = status;
    refresh(false);
}

void RecordingDisplay::tick()
{
    refresh(true);
}

void RecordingDisplay::refresh(bool poll)
{
    m_listeningLamp->setOn(m_status.listening);
    m_listen->setChecked(m_status.listening);
    m_pause->setChecked(m_status.recording && m_status.paused);
    if (!m_status.recording) {
        showStopped();
        return;
    }
    m_recordingLamp->setOn(true);
    m_timeCaption->setOn(true);
    const bool remaining = m_timeMode != TimeMode::Elapsed;
    const qint32 shown[3] = {
        remaining ? m_status.hoursLeft : m_status.hoursPassed,
        remaining ? m_status.minutesLeft : m_status.minutesPassed,
        remaining ? m_status.secondsLeft : m_status.secondsPassed,
    };
    for (int i = 0; i < 3; ++i) {
        m_digits[i]->setMinus(remaining);
        m_digits[i]->setValue(std::max<qint32>(0, shown[i]));
    }
    m_record->setEnabled(false);
    m_stop->setEnabled(true);
    m_pause->setEnabled(true);
    if (m_status.timed) {
        m_timeModeButton->setEnabled(true);
    } else {
        m_timeModeButton->setEnabled(false);
        // Without a time limit only elapsed time means anything; the caption
        // goes back with the mode so it never names what is not shown.
        m_timeMode = TimeMode::Elapsed;
        m_timeCaption->setCaption(recTimeCaption());
    }
    // A bit rate of 0 means not known yet: the last one stays.
    if (m_status.bitRate != 0) {
        m_bitRate->setCaption(tr("B: %1").arg(m_status.bitRate));
        m_bitRate->setOn(true);
    }
    const QString &title = m_status.caption;
    // Between ticks the title is placed but does not move.
    m_marquee.step(title, titleWidth(), !poll || m_title->pointerInside());
    m_title->setContent(m_marquee.text(), m_marquee.left());
    m_errorLamp->setOn(title.contains(kErrorMark) || m_status.unreachable);
    if (poll)
        followSystemVolume();
}

void RecordingDisplay::showStopped()
{
    m_recordingLamp->setOn(false);
    for (SegmentDisplay *digits : m_digits) {
        digits->setValue(0);
        digits->setMinus(false);
        digits->setIdle();
    }
    m_record->setEnabled(true);
    m_stop->setEnabled(false);
    m_pause->setEnabled(false);
    m_bitRate->setCaption(tr("B: %1").arg(0));
    m_bitRate->setOn(false);
    m_timeModeButton->setEnabled(false);
    m_timeCaption->setOn(false);
    m_marquee.showStill(tr("STOPPED"));
    m_title->setContent(m_marquee.text(), m_marquee.left());
}

void RecordingDisplay::followSystemVolume()
{
    // Our player applies the listening volume itself and never moves the
    // system volume, so the slider follows the system volume when that
    // changes, not at every tick: otherwise it would jump back from where the
    // user left it. An unreadable system volume (-1) moves nothing. A change
    // that meets the user's hand on the slider (pressed, or a key since the
    // last tick) gives way to it.
    const qint32 master = masterVolume(m_mixer);
    const bool changed = master >= 0 && master != m_lastMaster;
    if (master >= 0)
        m_lastMaster = master;
    if (changed && master != volumeFromSlider(m_slider->value()) && !m_sliderPressed && !m_sliderKey)
        m_slider->setValue(sliderFromVolume(master));
    m_sliderKey = false;
}

void RecordingDisplay::onSliderChanged(int value)
{
    // Every change is the listening volume, whether the user or the system volume moved the slider.
    if (m_recorder)
        m_recorder->setVolume(volumeFromSlider(value));
}

void RecordingDisplay::onSliderReleased()
{
    m_sliderPressed = false;
}

void RecordingDisplay::toggleTimeMode()
{
    if (m_timeMode != TimeMode::Elapsed) {
        m_timeMode = TimeMode::Elapsed;
        m_timeCaption->setCaption(recTimeCaption());
    } else {
        m_timeMode = TimeMode::Remaining;
        m_timeCaption->setCaption(timeLeftCaption());
    }
}

void RecordingDisplay::quit()
{
    if (m_status.recording && !m_status.paused && m_recorder) {
        m_confirmation = m_quitQuestion.ask(*m_recorder);
        return;
    }
    // Like the tray's exit: a paused recording's file is closed and tagged first.
    if (m_recorder)
        m_recorder->exitFromMenu();
}

void RecordingDisplay::setContextMenu(QMenu *menu)
{
    m_contextMenu = menu;
}

void RecordingDisplay::dockUnder(const QRect &frame)
{
    setGeometry(frame.left(), frame.bottom() + 1, frame.width(), height());
}

void RecordingDisplay::setDisplayEntryShown(bool shown)
{
    if (m_recorder)
        m_recorder->setDisplayShown(shown);
}

void RecordingDisplay::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    setDisplayEntryShown(true);
    refresh(false);
    m_tickTimer->start();
}

void RecordingDisplay::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // A hidden display costs nothing: its tick waits until it is shown again.
    m_tickTimer->stop();
    setDisplayEntryShown(false);
}

void RecordingDisplay::updateMarqueeOverhang()
{
    m_marquee.setOverhang(2 * QFontMetrics(m_title->font()).maxWidth());
}

void RecordingDisplay::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The title's font has been scaled.
    updateMarqueeOverhang();
    // The resizer has placed the buttons; their pictures grow with them.
    for (QToolButton *button : {m_record, m_stop, m_pause, m_listen, m_timeModeButton, m_quit}) {
        const int side = std::max(8, std::min(button->width(), button->height()) * 2 / 3);
        button->setIconSize(QSize(side, side));
    }
}

void RecordingDisplay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    const qreal x = width() / qreal(kBaseWidth);
    const qreal y = height() / qreal(kBaseHeight);
    // The lamps, digits and title sit on a dark panel in every palette, so
    // the two reds read the same in light and dark themes.
    const QRectF panel(kPanel.left() * x, kPanel.top() * y, kPanel.width() * x, kPanel.height() * y);
    painter.setPen(QPen(palette().color(QPalette::Shadow), 1));
    painter.setBrush(QColor(22, 14, 14));
    painter.drawRoundedRect(panel.adjusted(0.5, 0.5, -0.5, -0.5), 6 * std::min(x, y), 6 * std::min(x, y));
    // Colons between the digit pairs.
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_status.recording ? QColor(255, 0, 0) : QColor(64, 0, 0));
    const qreal dot = 4 * std::min(x, y);
    for (int i = 0; i < 2; ++i) {
        const QRect digits = m_digits[i]->geometry();
        const qreal cx = digits.right() + (m_digits[i + 1]->geometry().left() - digits.right()) / 2.0 + 2 * x;
        painter.drawEllipse(QPointF(cx, digits.top() + digits.height() * 0.33), dot / 2, dot / 2);
        painter.drawEllipse(QPointF(cx, digits.top() + digits.height() * 0.7), dot / 2, dot / 2);
    }
    // A thin outline, since the window has no frame of its own.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(palette().color(QPalette::Mid), 1));
    painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

void RecordingDisplay::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton && m_contextMenu) {
        m_contextMenu->popup(event->globalPosition().toPoint());
        return;
    }
    // A press anywhere on the background drags the window; the window manager
    // moves it where it can, otherwise we follow the pointer ourselves.
    if (windowHandle() && event->button() == Qt::LeftButton && windowHandle()->startSystemMove())
        return;
    m_dragging = true;
    m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void RecordingDisplay::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging)
        move(event->globalPosition().toPoint() - m_dragOffset);
}

void RecordingDisplay::mouseReleaseEvent(QMouseEvent *)
{
    m_dragging = false;
}

void RecordingDisplay::showAndRaise()
{
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void RecordingDisplay::toggle(bool mayHide)
{
    if (mayHide && isVisible() && !isMinimized()) {
        hide();
        return;
    }
    showAndRaise();
}

DockedPlaces fitDockedPair(const QRect &frame, int displayHeight, const QRect &area, int minimumFrameHeight)
{
    QRect placed = frame;
    if (placed.width() > area.width())
        placed.setWidth(area.width());
    if (placed.height() + displayHeight > area.height())
        placed.setHeight(std::max(minimumFrameHeight, area.height() - displayHeight));
    const int pairHeight = std::min(placed.height() + displayHeight, area.height());
    placed.moveLeft(std::clamp(placed.left(), area.left(), area.right() + 1 - placed.width()));
    placed.moveTop(std::clamp(placed.top(), area.top(), area.bottom() + 1 - pairHeight));
    const int displayTop = std::min(placed.bottom() + 1, area.bottom() + 1 - displayHeight);
    return {placed, QRect(placed.left(), displayTop, placed.width(), displayHeight)};
}
