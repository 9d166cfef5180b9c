#include "ui/stationbar.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

#include "sources/playlistreader.h"
#include "ui/themedicon.h"

StationBar::StationBar(MessageSink tell, QNetworkAccessManager &network, platform::Clock &clock, QWidget *parent)
    : QWidget(parent)
    , m_tell(std::move(tell))
{
    m_reader = new PlaylistReader(network, clock, this);
    connect(m_reader, &PlaylistReader::messageRequested, this, [this](const QString &text) { m_tell(text); });
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    m_address = new QLineEdit(this);
    m_address->setObjectName(QStringLiteral("address"));
    m_address->setPlaceholderText(tr("Playlist address (.pls or .m3u), stream address or playlist file"));
    auto *addressLabel = new QLabel(tr("Statio&n:"), this);
    addressLabel->setBuddy(m_address);
    m_check = new QToolButton(this);
    m_check->setObjectName(QStringLiteral("check"));
    m_check->setIcon(themedIcon("view-refresh", "check"));
    m_check->setText(tr("Chec&k"));
    m_check->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_check->setToolTip(tr("Check the station's playlist"));
    m_connecting = new QLabel(tr("Connecting... Please Wait..."), this);
    m_connecting->setObjectName(QStringLiteral("connecting"));
    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("checkResult"));
    row->addWidget(addressLabel);
    row->addWidget(m_address, 1);
    row->addWidget(m_check);
    row->addWidget(m_result);
    // A result names the address it was got for.
    connect(m_address, &QLineEdit::textEdited, m_result, &QLabel::clear);
    connect(m_check, &QToolButton::clicked, this, &StationBar::checkRequested);
    connect(m_address, &QLineEdit::returnPressed, this, &StationBar::checkRequested);
    connect(m_address, &QLineEdit::textChanged, this, [this] {
        if (!m_checkAlwaysEnabled)
            m_check->setEnabled(!m_address->text().isEmpty());
    });

    connect(m_reader, &PlaylistReader::finished, this, [this] {
        m_connecting->hide();
        const QString title = QString::fromLocal8Bit(m_reader->firstTitle);
        showResult(true, title.isEmpty() ? tr("Station OK") : tr("Station OK: ") + title);
        Q_EMIT checked(title);
    });
    connect(m_reader, &PlaylistReader::failed, this, [this](int code) {
        m_connecting->hide();
        if (const QString text = m_reader->failureText(code); !text.isEmpty())
            m_tell(text);
        const QString reason = PlaylistReader::errorMessage(code);
        showResult(false, tr("Check failed") + (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason.left(80)));
        m_address->clear();
        Q_EMIT checkFailed();
    });
}

StationBar::~StationBar() = default;

QString StationBar::address() const
{
    return m_address->text();
}

void StationBar::setAddress(const QString &address)
{
    m_address->setText(address);
}

void StationBar::clearAddress()
{
    m_address->clear();
}

bool StationBar::check()
{
    const QString address = m_address->text();
    if (!address.contains(QStringLiteral(".m3u"), Qt::CaseInsensitive) &&
        !address.contains(QStringLiteral(".pls"), Qt::CaseInsensitive) &&
        !PlaylistReader::isDirectStream(QFile::encodeName(address))) {
        m_tell(tr("This is not a valid Shoutcast streaming playlist, configuration file, or accepted URL file!"));
        showResult(false, tr("Not a playlist or stream address"));
        return false;
    }
    showResult(false, QString());
    m_connecting->show();
    m_reader->start(QFile::encodeName(address));
    return true;
}

bool StationBar::isChecking() const
{
    return m_reader->isRequestPending();
}

void StationBar::hideProgress()
{
    m_connecting->hide();
}

void StationBar::setCheckAlwaysEnabled(bool always)
{
    m_checkAlwaysEnabled = always;
    m_check->setEnabled(always || !m_address->text().isEmpty());
}

void StationBar::showResult(bool ok, const QString &text)
{
    m_result->setText(text);
    QPalette palette = m_result->palette();
    palette.setColor(QPalette::WindowText, ok ? QColor(0x2e, 0x9d, 0x3e) : QColor(0xd0, 0x30, 0x30));
    m_result->setPalette(palette);
}
