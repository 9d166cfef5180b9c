#include "ui/capturebox.h"

#include <QButtonGroup>
#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>
#include <QToolButton>
#include <QUrl>

#include "config/inivalues.h"
#include "config/preset.h"
#include "config/setupsettings.h"
#include "ui/filedialogs.h"
#include "ui/themedicon.h"

CaptureBox::CaptureBox(MessageSink tell, QWidget *parent)
    : QGroupBox(tr("Recording"), parent)
    , m_tell(std::move(tell))
{
    auto *grid = new QGridLayout(this);
    m_title = new QLineEdit(this);
    m_title->setObjectName(QStringLiteral("title"));
    auto *titleLabel = new QLabel(tr("T&itle:"), this);
    titleLabel->setBuddy(m_title);
    connect(m_title, &QLineEdit::textEdited, this, &CaptureBox::changed);

    m_path = new QLineEdit(this);
    m_path->setObjectName(QStringLiteral("path"));
    m_path->installEventFilter(this);
    m_path->setAcceptDrops(true);
    m_pathLabel = new QLabel(this);
    m_pathLabel->setObjectName(QStringLiteral("pathLabel"));
    m_pathLabel->setBuddy(m_path);
    m_browsePath = new QToolButton(this);
    m_browsePath->setObjectName(QStringLiteral("browsePath"));
    m_browsePath->setToolTip(tr("Browse"));
    connect(m_path, &QLineEdit::textChanged, this, [this](const QString &text) { m_target.edit(text); });
    connect(m_path, &QLineEdit::editingFinished, this, &CaptureBox::acceptPath);
    connect(m_browsePath, &QToolButton::clicked, this, &CaptureBox::browsePath);

    m_streamTitles = new QRadioButton(tr("Capt&ure as stream titles"), this);
    m_streamTitles->setObjectName(QStringLiteral("streamTitles"));
    auto *datedArchive = new QRadioButton(tr("Capture as a &dated archive"), this);
    datedArchive->setObjectName(QStringLiteral("datedArchive"));
    auto *singleFile = new QRadioButton(tr("Capture as a sin&gle file"), this);
    singleFile->setObjectName(QStringLiteral("singleFile"));
    m_modes = new QButtonGroup(this);
    m_modes->addButton(singleFile, SetupSettings::CaptureSingleFile);
    m_modes->addButton(m_streamTitles, SetupSettings::CaptureStreamTitles);
    m_modes->addButton(datedArchive, SetupSettings::CaptureDatedArchive);
    connect(m_modes, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            chooseCaptureMode(id);
    });

    m_dateMode = new QGroupBox(tr("Date Mode"), this);
    m_dateMode->setObjectName(QStringLiteral("dateMode"));
    auto *dateLayout = new QFormLayout(m_dateMode);
    m_archivePrefix = new QLineEdit(m_dateMode);
    m_archivePrefix->setObjectName(QStringLiteral("archivePrefix"));
    dateLayout->addRow(tr("Archive File Header:"), m_archivePrefix);
    connect(m_archivePrefix, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_target.setArchiveHeader(text);
        Q_EMIT changed();
        Q_EMIT targetChanged();
    });

    // Two rows, not three: the window must stay low enough for small screens.
    auto *modes = new QGridLayout;
    modes->addWidget(m_streamTitles, 0, 0);
    modes->addWidget(datedArchive, 0, 1);
    modes->addWidget(singleFile, 1, 0);
    modes->setColumnStretch(2, 1);

    grid->addWidget(titleLabel, 0, 0);
    grid->addWidget(m_title, 0, 1, 1, 2);
    grid->addWidget(m_pathLabel, 1, 0);
    grid->addWidget(m_path, 1, 1);
    grid->addWidget(m_browsePath, 1, 2);
    grid->addLayout(modes, 2, 1);
    grid->addWidget(m_dateMode, 3, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    showTarget();
}

CaptureBox::~CaptureBox() = default;

void CaptureBox::setTitle(const QString &title)
{
    m_title->setText(title);
}

QList<QWidget *> CaptureBox::tabOrder() const
{
    return {m_title, m_path, m_browsePath, m_streamTitles, m_archivePrefix};
}

void CaptureBox::showTarget()
{
    if (m_path->text() != m_target.path())
        m_path->setText(m_target.path());
    const bool folder = m_target.isFolderMode();
    m_pathLabel->setText(folder ? tr("Save MP3s to:") : tr("MP3 file:"));
    m_browsePath->setIcon(folder ? themedIcon("folder-open", "folder") : themedIcon("document-save-as", "file"));
}

bool CaptureBox::acceptPath()
{
    Q_EMIT changed();
    const CaptureTarget::Refusal refusal = m_target.accept();
    showTarget();
    if (refusal == CaptureTarget::Refusal::MissingFolder)
        m_tell(tr("The path is invalid!"));
    else if (refusal == CaptureTarget::Refusal::UnwritableFile)
        m_tell(tr("Invalid MP3 file name!"));
    if (refusal != CaptureTarget::Refusal::None) {
        m_path->setFocus();
        m_path->end(false);
    }
    Q_EMIT targetChanged();
    if (m_target.isAccepted())
        setLastPath(m_target.path());
    return m_target.isAccepted();
}

void CaptureBox::chooseCaptureMode(int mode)
{
    if (QAbstractButton *button = m_modes->button(mode); button && !button->isChecked()) {
        // Checking it runs this again through the group.
        button->setChecked(true);
        return;
    }
    Q_EMIT changed();
    m_dateMode->setVisible(mode == SetupSettings::CaptureDatedArchive);
    m_target.setMode(static_cast<SetupSettings::CaptureMode>(mode));
    showTarget();
    Q_EMIT targetChanged();
}

void CaptureBox::browsePath()
{
    Q_EMIT changed();
    if (m_target.isFolderMode()) {
        auto *dialog = new QFileDialog(this, tr("Select a Path To Save To"), dialogFolder(m_path->text()));
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
        connect(dialog, &QFileDialog::rejected, this, [this] {
            m_target.acceptWhatIsShown();
            Q_EMIT targetChanged();
        });
        connect(dialog, &QFileDialog::fileSelected, this, [this](const QString &chosen) {
            m_target.takeChosenFolder(QDir::toNativeSeparators(chosen));
            showTarget();
            setLastPath(m_target.path());
            Q_EMIT targetChanged();
        });
        dialog->open();
        return;
    }
    auto *dialog =
        new QFileDialog(this, tr("Save MP3 File"), dialogFolder(m_path->text()), tr("MP3 music file (*.mp3 *.MP3)"));
    const QString name = CaptureTarget::namePart(m_path->text());
    if (!name.isEmpty())
        dialog->selectFile(name);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("mp3"));
    dialog->setFileMode(QFileDialog::AnyFile);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString &chosen) {
        if (m_target.takeChosenFile(QDir::toNativeSeparators(chosen)) != CaptureTarget::Refusal::None) {
            m_tell(tr("Invalid MP3 file name!"));
            return;
        }
        showTarget();
        m_path->selectAll();
    });
    connect(dialog, &QFileDialog::finished, this, [this] {
        m_target.acceptWhatIsShown();
        Q_EMIT targetChanged();
    });
    dialog->open();
}

void CaptureBox::dropPath(const QMimeData *mime)
{
    if (!mime->hasUrls() || mime->urls().isEmpty() || !mime->urls().constFirst().isLocalFile())
        return;
    const QString path = QDir::toNativeSeparators(mime->urls().constFirst().toLocalFile());
    if (!m_target.fitsMode(path))
        return;
    m_path->setText(path);
    acceptPath();
}

void CaptureBox::stationChecked()
{
    if (!m_target.isFolderMode()) {
        // A single file keeps its name; a folder is no file to record into.
        if (!m_target.path().isEmpty())
            acceptPath();
        return;
    }
    const QString folder = defaultRecordingFolder(false);
    if (!folder.isEmpty()) {
        m_path->setText(folder);
        acceptPath();
    } else {
        m_path->setFocus();
    }
}

void CaptureBox::applySettings(const SetupSettings &settings)
{
    // The mode first, so that the stored path lands in its own mode's box.
    m_modes->setExclusive(false);
    for (QAbstractButton *button : m_modes->buttons())
        button->setChecked(false);
    m_modes->setExclusive(true);
    if (QAbstractButton *button = m_modes->button(settings.captureMode))
        button->setChecked(true);
    else
        m_dateMode->hide();
    m_path->setText(settings.saveFolder);
    m_archivePrefix->setText(settings.archivePrefix);
}

void CaptureBox::saveInto(SetupSettings &settings) const
{
    settings.saveFolder = m_path->text();
    const int mode = m_modes->checkedId();
    settings.captureMode = mode > 0 ? static_cast<SetupSettings::CaptureMode>(mode) : SetupSettings::CaptureNone;
    settings.archivePrefix = m_archivePrefix->text();
}

void CaptureBox::putIn(Preset &preset) const
{
    preset.stationTitle = m_title->text();
    m_target.putIn(preset);
}

void CaptureBox::takeFrom(const Preset &preset)
{
    m_title->setText(preset.stationTitle);
    const int mode = preset.captureMode == 1   ? SetupSettings::CaptureSingleFile
                     : preset.captureMode == 3 ? SetupSettings::CaptureDatedArchive
                                               : SetupSettings::CaptureStreamTitles;
    chooseCaptureMode(mode);
    m_target.takeFrom(preset);
    if (preset.captureMode == 3)
        m_archivePrefix->setText(m_target.archiveHeader());
    showTarget();
    Q_EMIT targetChanged();
}

bool CaptureBox::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_path)
        return QGroupBox::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::FocusIn:
        m_target.rememberPath();
        break;
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        if (drag->mimeData()->hasUrls())
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        drop->acceptProposedAction();
        dropPath(drop->mimeData());
        return true;
    }
    default:
        break;
    }
    return QGroupBox::eventFilter(watched, event);
}
