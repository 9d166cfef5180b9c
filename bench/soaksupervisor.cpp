#include <QPointer>
#include <algorithm>
#include <deque>
#include <vector>
// Soak run of the recording supervisor: one long title-mode recording from the
// bundled test station, as fast as the loopback carries it, with faults
// injected at random into every connection: the station drops the connection
// or stalls after a random amount of audio, refuses the request ("ICY 40x"),
// or redirects it ("302 Found"), sometimes for several requests in a row (an
// outage the recorder must bridge without closing its file), and announces a
// new title every few seconds of audio. A stream that follows another may
// begin with a burst of the other's last bytes, which must not be recorded twice. Titles and station names come from
// small pools, so they come round again, collide after cleaning (slashes, Latin-1 and UTF-8 letters, names too long for
// the file system) or are empty: no file may ever be replaced. The supervisor runs on a fake clock (a stall costs ten
// seconds of it, not of real time); the sockets are real.
//
// It checks that every file holds exactly the audio the station sent under its
// title (rebuilt connection by connection from what the station recorded; a
// title's file begins at the first frame boundary at or after the title, in
// the audio as written, where a frame cut by a dropped connection ends),
// that no file is missing or extra, that the process's resident memory does
// not grow, and that nothing crashed: the recording runs in a child process
// whose end the parent reports. Finished files are checked and deleted every
// few seconds, so that the disk does not fill; and every few seconds the
// recorder is redirected to a fresh station, so that the station's own records
// do not grow either.
//
//   bench_soak [seconds=120] [seed] [keep-folder]
//
// With a keep folder, every file not as expected is kept there with the bytes
// the model expected (name.want) and the audio written before it, and each
// reconnected stream's burst is logged, to compare with the recorder's skip.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <limits>
#include <memory>
#include <random>

#include "app/programcontext.h"
#include "config/inivalues.h"
#include "config/preset.h"
#include "engine/framescanner.h"
#include "engine/id3v2tag.h"
#include "engine/recorder.h"
#include "engine/recordingnames.h"
#include "engine/streamtitle.h"
#include "platform/alsaaudiooutput.h"
#include "platform/alsamixer.h"
#include "platform/clock.h"
#include "platform/frontend.h"
#include "recordertestpeer.h"
#include "teststation/framegenerator.h"
#include "teststation/station.h"

namespace
{

constexpr int kServers = 10000;           // entries of the server list (a refusal moves one on)
constexpr qint64 kBytesPerSecond = 16000; // 128 kbit/s
constexpr qint64 kLongestStream = 1500000;
constexpr qint64 kBatchMs = 3000; // real time between checks (and station changes)
constexpr int kStationNames = 3;  // station files of the same name come round too

// No frame is longer: frames that begin again after a title do so within this.
constexpr qint64 kMaxFrameBytes = 8192;

// Titles the streams draw from: some clean or decode to the same file name,
// one is empty (the current file goes on), two are too long for a file name
// and differ only past the cut.
const QList<QByteArray> kTitlePool = {
    "AC/DC - Back in Black",
    "ACDC - Back in Black",
    "Don't Stop - Me Now",
    "Rock; Roll - All Night",
    "Caf\xe9 Band - Tango",
    "Caf\xc3\xa9 Band - Tango",
    "Caf\xe8 Band - Tango",
    "What? - Now: Then",
    "What - Now Then",
    "",
    "Long Artist - " + QByteArray(300, 'x') + " A",
    "Long Artist - " + QByteArray(300, 'x') + " B",
};

// The supervisor's clock: moves only when the run moves it, and makes the
// timed calls (holds, connection limits) that fall due on the way.
class SoakClock final : public platform::Clock
{
public:
    qint64 monotonicMs() const override { return m_total; }
    QDateTime now() const override { return m_time; }
    CallId callAfter(int milliseconds, QObject *context, std::function<void()> fn) override
    {
        m_calls.push_back({++m_lastId, m_total + std::max(milliseconds, 0), context, std::move(fn)});
        return m_lastId;
    }
    void cancelCall(CallId id) override
    {
        m_calls.erase(std::remove_if(m_calls.begin(), m_calls.end(), [id](const Call &call) { return call.id == id; }),
                      m_calls.end());
    }
    void advance(qint64 ms)
    {
        m_time = m_time.addMSecs(ms);
        m_total += ms;
        // Due calls, earliest first; each may add or cancel others.
        for (;;) {
            const auto due = std::min_element(m_calls.begin(), m_calls.end(),
                                              [](const Call &a, const Call &b) { return a.due < b.due; });
            if (due == m_calls.end() || due->due > m_total)
                break;
            Call call = std::move(*due);
            m_calls.erase(due);
            if (call.context)
                call.fn();
        }
    }
    qint64 total() const { return m_total; }

private:
    struct Call
    {
        CallId id;
        qint64 due;
        QPointer<QObject> context;
        std::function<void()> fn;
    };
    std::vector<Call> m_calls;
    CallId m_lastId = 0;
    // Starts a minute before the counter changes sign.
    QDateTime m_time{QDate(2026, 3, 7), QTime(1, 0, 0)};
    qint64 m_total = 0;
};

// Anything the program would tell the user is a failure here.
class SoakFrontEnd final : public platform::FrontEnd
{
public:
    void showMessage(const QString &text) override { messages.append(text); }
    void captionChanged(const QString &caption) override
    {
        if (caption == QStringLiteral("[ERR] TIMEOUT! Reconnecting...") ||
            caption.startsWith(QStringLiteral("[ERR] Station unreachable since ")))
            ++timeouts;
    }
    void trayChanged(const platform::TrayState &) override {}
    void exitProcess(int status) override { messages.append(QStringLiteral("exit %1").arg(status)); }

    QStringList messages;
    int timeouts = 0;
};

long residentKb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

enum class Fault
{
    Drop,
    Stall,
    Refusal,
    Redirect,
};

struct Plan
{
    Fault fault = Fault::Drop;
    QByteArray stationName; // the stream's icy-name
    QDate day;              // the fake date when it was asked for
    quint32 seed = 1;       // of the stream's generated audio
    qint64 burst = 0;       // bytes of the previous stream sent first ...
    quint32 burstSeed = 0;  // ... which is this one,
    qint64 burstFrom = 0;   // from this byte
    qint64 length = 0;      // audio bytes it sends, the burst included
};

// One test station and what it was told to do with each connection.
struct StationSlot
{
    std::unique_ptr<teststation::Station> station;
    QList<Plan> plans;
    int absorbed = 0;        // connections already added to the expected files
    QByteArray redirectAway; // the next request is sent to this station instead
    bool redirectSent = false;
};

// A stretch of the audio written, in the order the recorder wrote it: from
// byte `at` on (until the next stretch) it is the audio of stream `seed` from
// its byte `from`.
struct Stretch
{
    qint64 at = 0;
    quint32 seed = 1;
    qint64 from = 0;
};

// A file holds the audio written from `begin` to `end`.
struct Expected
{
    QByteArray song; // the song name the tag is built from
    qint64 begin = 0;
    qint64 end = -1; // -1 while it is being written
};

// A title whose file does not begin yet: it ends the file being written at the
// first frame boundary at or after it, as frames are found in the audio
// written (where frames begin again after a frame cut by a reconnection).
struct PendingTitle
{
    qint64 at = 0;
    QByteArray song;
    bool inRun = false; // frames were being found when it came
    qint64 boundary = -1;
};

class Soak
{
public:
    Soak(int seconds, quint32 seed, QString keep)
        : m_seconds(seconds)
        , m_seed(seed)
        , m_random(seed)
        , m_keep(std::move(keep))
    {}
    int run();

private:
    StationSlot *newStation();
    void planRequest(StationSlot &slot, int index);
    void absorb(StationSlot &slot);
    // Adds audio written to the model, and decides the titles it settles.
    void written(quint32 seed, qint64 from, qint64 length);
    void settleTitles(bool final);
    void create(const QByteArray &song, qint64 begin);
    void checkFinishedFiles(bool all);
    bool drained() const;
    const QByteArray &audioOf(quint32 seed);
    qint64 between(qint64 low, qint64 high)
    {
        return low + static_cast<qint64>(m_random() % static_cast<quint64>(high - low + 1));
    }

    QByteArray writtenBetween(qint64 begin, qint64 end);
    void keepMismatch(const QString &name, const QByteArray &bytes, const QByteArray &want, const Expected &file);

    int m_seconds;
    quint32 m_seed;
    std::mt19937 m_random;
    QString m_keep; // where files not as expected are kept (none: not kept)
    SoakClock m_clock;
    SoakFrontEnd m_frontEnd;
    QNetworkAccessManager m_network;
    platform::AlsaMixer m_mixer;
    const platform::AudioDevices m_sound{m_mixer, [] { return std::make_unique<platform::AlsaAudioOutput>(); }};
    ProgramContext m_program{m_frontEnd, m_clock, m_network, m_sound};
    QTemporaryDir m_folder;
    Recorder *m_engine = nullptr;
    std::unique_ptr<StationSlot> m_live;    // the station the recorder is on
    std::unique_ptr<StationSlot> m_retired; // the one it is being redirected away from
    QByteArray m_audio;                     // the audio of stream m_audioSeed, from its first byte
    quint32 m_audioSeed = 0;

    // The expected files not checked yet (all still on disk), and the one the
    // recorder writes; the song the recorder holds (the last title it took).
    QMap<QString, Expected> m_expected;
    QString m_current;
    QByteArray m_currentSong;
    bool m_continuing = false; // the next stream continues the open file

    // The audio written so far, as stretches of streams; its frames as a
    // decoder finds them, and the titles waiting for a frame boundary.
    std::vector<Stretch> m_stretches;
    qint64 m_written = 0;
    engine::FrameScanner m_scanner;
    QByteArray m_scan; // the audio written from the scanner's position on
    std::deque<PendingTitle> m_pending;
    bool m_framesFound = false;

    int m_stations = 0, m_connections = 0, m_drops = 0, m_stalls = 0, m_refusals = 0, m_redirects = 0;
    int m_titleChanges = 0, m_filesChecked = 0, m_mismatches = 0, m_copies = 0, m_titlesKept = 0;
    qint64 m_audioSent = 0, m_tagBytes = 0, m_bytesChecked = 0;
    int m_dropsInRow = 0;
    int m_hops = 0;
    int m_refusalsLeft = 0; // requests still to refuse in this outage
    quint32 m_nextSeed = 1; // every stream has audio of its own
    quint32 m_lastSeed = 0; // the last stream planned, and its length
    qint64 m_lastLength = 0;
    int m_bursts = 0;
    int m_cutShort = 0; // streams that ended before their end: a burst of it may be new
    qint64 m_burstBytes = 0;
};

StationSlot *Soak::newStation()
{
    auto slot = std::make_unique<StationSlot>();
    teststation::Config config;
    config.recordAudio = false; // the audio is rebuilt for the check; memory must stay flat
    slot->station = std::make_unique<teststation::Station>(config);
    if (!slot->station->start())
        return nullptr;
    StationSlot *raw = slot.get();
    QObject::connect(raw->station.get(), &teststation::Station::requestReceived, raw->station.get(),
                     [this, raw](int index) { planRequest(*raw, index); });
    ++m_stations;
    m_live = std::move(slot);
    return raw;
}

// Each request gets its fault when it arrives, and a stream its titles from the pool.
void Soak::planRequest(StationSlot &slot, int index)
{
    teststation::Station &station = *slot.station;
    const QByteArray target = station.connection(index).target;
    const QByteArray server = target.mid(target.indexOf("sid=") + 4).split('&').first();
    Plan plan;
    plan.day = m_clock.now().date();
    teststation::Config &config = station.config();
    config.everyRequest.reset();
    const int roll = static_cast<int>(m_random() % 100);
    if (!slot.redirectAway.isEmpty()) {
        plan.fault = Fault::Redirect;
        config.everyRequest = teststation::Page::redirect(slot.redirectAway + "/stream?sid=" + server);
        slot.redirectAway.clear();
        slot.redirectSent = true;
    } else if ((m_refusalsLeft > 0 || roll < 8) && server.toInt() < kServers) {
        // An outage of one to five refusals.
        m_refusalsLeft = m_refusalsLeft > 0 ? m_refusalsLeft - 1 : static_cast<int>(between(0, 4));
        plan.fault = Fault::Refusal;
        static const QList<QByteArray> refusals = {"ICY 400 Server Full", "ICY 403 Forbidden",
                                                   "ICY 404 Resource Not Found", "ICY 401 Service Unavailable"};
        config.everyRequest = teststation::Page::statusOnly(refusals.at(static_cast<int>(m_random() % 4)));
    } else if (roll < 16) {
        plan.fault = Fault::Redirect;
        config.everyRequest = teststation::Page::redirect("http://{station}/stream?sid=" + server +
                                                          "&hop=" + QByteArray::number(++m_hops));
    } else {
        teststation::Stream stream;
        stream.pace = teststation::Stream::Pace::Fast;
        stream.metaInt = static_cast<int>(between(512, 16384));
        plan.seed = m_nextSeed++;
        stream.seed = plan.seed;
        // Half the streams after the first begin with the end of the last one:
        // at least four frames (three whole ones) and less than the first
        // metadata interval, so that it is all over before the first title.
        // Never longer than the last stream's own audio, though: a stream
        // whose burst took most of its length has less (but still over four
        // frames) to burst again.
        if (m_lastSeed != 0 && m_random() % 2 == 0) {
            stream.metaInt = static_cast<int>(between(4096, 16384));
            plan.burst = std::min(between(1700, stream.metaInt - 1), m_lastLength);
            plan.burstSeed = m_lastSeed;
            plan.burstFrom = m_lastLength - plan.burst;
            stream.burst = audioOf(m_lastSeed).mid(plan.burstFrom, plan.burst);
        }
        plan.stationName = "Soak Station " + QByteArray::number(m_random() % kStationNames);
        stream.name = plan.stationName;
        // A new title every 3 to 8 seconds of audio.
        stream.titleEvery = between(3, 8) * kBytesPerSecond;
        const qint64 length = between(20000, kLongestStream);
        for (qint64 k = 0; k <= length / stream.titleEvery + 1; ++k)
            stream.titles.append(kTitlePool.at(static_cast<int>(m_random() % kTitlePool.size())));
        // Four quick hang-ups in a row end a recording on purpose: at most
        // three here, so the run goes on.
        if (m_random() % 2 == 0 && m_dropsInRow < 3) {
            plan.fault = Fault::Drop;
            stream.dropAfter = length;
            ++m_dropsInRow;
        } else {
            plan.fault = Fault::Stall;
            stream.stallAfter = length;
            m_dropsInRow = 0;
        }
        plan.length = length;
        // The burst counts as audio of the stream: its own audio ends earlier.
        m_lastSeed = plan.seed;
        m_lastLength = length - plan.burst;
        config.streams.insert("/stream", stream);
    }
    while (slot.plans.size() <= index)
        slot.plans.append(Plan());
    slot.plans[index] = plan;
}

// Adds the connections of a station that are over to the expected files. A
// stream after a stalled or dropped one (refusals and redirects in between are
// part of the outage) continues the open file, without the burst it begins
// with. A name taken by a file still on disk goes to the next numbered copy;
// an empty or unchanged title continues the file.
void Soak::absorb(StationSlot &slot)
{
    const teststation::Station &station = *slot.station;
    for (; slot.absorbed < station.connectionCount(); ++slot.absorbed) {
        const teststation::ConnectionRecord &sent = station.connection(slot.absorbed);
        const Plan &plan = slot.plans.at(slot.absorbed);
        ++m_connections;
        if (!sent.isStream) {
            plan.fault == Fault::Refusal ? ++m_refusals : ++m_redirects;
            continue;
        }
        plan.fault == Fault::Drop ? ++m_drops : ++m_stalls;
        // The next burst is the planned end of this stream, taken for audio on disk.
        if (sent.audioBytes < plan.length) {
            ++m_cutShort;
            std::fprintf(stderr, "stream %u ended after %lld of its %lld audio bytes\n", plan.seed,
                         static_cast<long long>(sent.audioBytes), static_cast<long long>(plan.length));
        }
        if (!m_continuing) {
            m_currentSong = engine::datedFileName(plan.stationName, plan.day);
            create(m_currentSong, m_written);
        }
        // The burst repeats what is on disk already; only a reconnected
        // stream's is recognised (the first stream's is new to the recording).
        const qint64 skip = m_continuing ? plan.burst : 0;
        if (plan.burst > 0 && m_continuing) {
            ++m_bursts;
            m_burstBytes += plan.burst;
        }
        if (!m_keep.isEmpty())
            std::fprintf(stderr, "soak: stream %u at written byte %lld: %lld audio bytes, burst %lld%s, %lld titles\n",
                         plan.seed, static_cast<long long>(m_written), static_cast<long long>(sent.audioBytes),
                         static_cast<long long>(plan.burst), m_continuing ? " (skipped)" : "",
                         static_cast<long long>(sent.titles.size()));
        // Connection audio from `from` to `to` goes to the files.
        const auto write = [&](qint64 from, qint64 to) {
            if (from < plan.burst) {
                const qint64 burstEnd = std::min(to, plan.burst);
                written(plan.burstSeed, plan.burstFrom + from, burstEnd - from);
                from = burstEnd;
            }
            if (from < to)
                written(plan.seed, from - plan.burst, to - from);
        };
        qint64 position = skip;
        for (const teststation::TitleMark &mark : sent.titles) {
            const QByteArray song = extractStreamTitle("StreamTitle='" + mark.title + "';");
            if (song == ".mp3" || song == m_currentSong) {
                ++m_titlesKept;
                continue;
            }
            write(position, std::max(position, mark.audioOffset));
            position = std::max(position, mark.audioOffset);
            // With all before it decided, the title's file begins with what comes next.
            m_pending.push_back(
                {m_written, song, m_scanner.locked(), m_scanner.position() == m_written ? m_written : -1});
            m_currentSong = song;
            ++m_titleChanges;
            settleTitles(false);
        }
        write(position, sent.audioBytes);
        m_audioSent += sent.audioBytes;
        m_continuing = true;
    }
}

void Soak::written(quint32 seed, qint64 from, qint64 length)
{
    if (length <= 0)
        return;
    if (m_stretches.empty() || m_stretches.back().seed != seed ||
        m_stretches.back().from + (m_written - m_stretches.back().at) != from)
        m_stretches.push_back({m_written, seed, from});
    m_scan += audioOf(seed).mid(from, length);
    m_written += length;
    settleTitles(false);
}

void Soak::settleTitles(bool final)
{
    std::vector<engine::FrameScanner::Frame> frames;
    const qint64 scanStart = m_written - m_scan.size();
    m_scanner.scan(m_scan, scanStart, final, frames);
    m_scan.remove(0, m_scanner.position() - scanStart);
    m_framesFound = m_framesFound || !frames.empty();
    for (const engine::FrameScanner::Frame &frame : frames) {
        const qint64 end = frame.offset + frame.header.length;
        for (PendingTitle &title : m_pending) {
            if (title.boundary < 0 && end > title.at)
                title.boundary = frame.offset >= title.at ? frame.offset : end;
        }
    }
    while (!m_pending.empty()) {
        const PendingTitle &title = m_pending.front();
        qint64 split = title.boundary;
        if (split < 0) {
            if (m_scanner.position() > title.at + (m_framesFound ? kMaxFrameBytes : 0))
                split = title.at; // no frames near it: at the byte
            else if (final)
                split = title.inRun ? m_written : title.at; // a cut last frame stays whole
            else
                break;
        }
        split = std::max(split, m_expected[m_current].begin);
        m_expected[m_current].end = split;
        create(title.song, split);
        m_pending.pop_front();
    }
}

void Soak::create(const QByteArray &song, qint64 begin)
{
    int copy = 1;
    QString name = engine::recordingFileName(song, copy);
    while (m_expected.contains(name))
        name = engine::recordingFileName(song, ++copy);
    if (copy > 1)
        ++m_copies;
    m_expected[name] = {song, begin, -1};
    m_current = name;
}

// The audio a stream of this seed sends; one stream's is kept at a time.
const QByteArray &Soak::audioOf(quint32 seed)
{
    if (seed != m_audioSeed) {
        m_audio =
            teststation::FrameGenerator(static_cast<int>(kBytesPerSecond * 8 / 1000), true, seed).read(kLongestStream);
        m_audioSeed = seed;
    }
    return m_audio;
}

// Checks (and deletes) every expected file but the one still being written.
void Soak::checkFinishedFiles(bool all)
{
    for (auto it = m_expected.begin(); it != m_expected.end();) {
        if (!all && it.key() == m_current) {
            ++it;
            continue;
        }
        const QString path = m_folder.path() + QDir::separator() + it.key();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "missing file %s\n", qPrintable(it.key()));
            ++m_mismatches;
            it = m_expected.erase(it);
            continue;
        }
        const QByteArray bytes = file.readAll();
        file.close();
        const QByteArray want = writtenBetween(it->begin, it->end < 0 ? m_written : it->end);
        // The tag's title: after " - " for a title, the whole name for a station file.
        const QByteArray base = it->song.chopped(4);
        const qsizetype dash = base.indexOf(" - ");
        const QByteArray title = (dash >= 0 ? base.mid(dash + 3) : base).left(30);
        // An ID3v2 tag in front, the ID3v1 tag at the end.
        const qsizetype front = id3v2TagLength(bytes);
        m_tagBytes += front;
        const bool tagged = bytes.size() == front + want.size() + 128 && bytes.mid(front + want.size(), 3) == "TAG" &&
                            bytes.mid(front + want.size() + 3, title.size()) == title;
        if (!tagged || bytes.mid(front, want.size()) != want) {
            std::fprintf(stderr, "file %s: %lld bytes, expected %lld with its tag\n", qPrintable(it.key()),
                         static_cast<long long>(bytes.size()), static_cast<long long>(want.size() + 128));
            ++m_mismatches;
            if (!m_keep.isEmpty())
                keepMismatch(it.key(), bytes, want, *it);
        }
        ++m_filesChecked;
        m_bytesChecked += bytes.size();
        QFile::remove(path);
        it = m_expected.erase(it);
    }
    // Stretches before every file still to check are done with.
    qint64 needed = m_written;
    for (const Expected &file : std::as_const(m_expected))
        needed = std::min(needed, file.begin);
    std::size_t done = 0;
    while (done + 1 < m_stretches.size() && m_stretches[done + 1].at <= needed)
        ++done;
    m_stretches.erase(m_stretches.begin(), m_stretches.begin() + static_cast<std::ptrdiff_t>(done));
    // Nothing else may be there: every file the recorder made was expected.
    const QStringList left = QDir(m_folder.path()).entryList(QDir::Files);
    for (const QString &name : left) {
        if (!m_expected.contains(name)) {
            std::fprintf(stderr, "unexpected file %s\n", qPrintable(name));
            ++m_mismatches;
            QFile::remove(m_folder.path() + QDir::separator() + name);
        }
    }
}

// The audio written from `begin` to `end`, as far as the stretches still reach.
QByteArray Soak::writtenBetween(qint64 begin, qint64 end)
{
    QByteArray want;
    want.reserve(std::max<qint64>(end - begin, 0));
    for (size_t k = 0; k < m_stretches.size(); ++k) {
        const Stretch &stretch = m_stretches[k];
        const qint64 stretchEnd = k + 1 < m_stretches.size() ? m_stretches[k + 1].at : m_written;
        const qint64 from = std::max(begin, stretch.at);
        const qint64 to = std::min(end, stretchEnd);
        if (from < to)
            want += audioOf(stretch.seed).mid(stretch.from + (from - stretch.at), to - from);
    }
    return want;
}

// Keeps a file not as expected, the bytes expected and the audio written
// before it, and says how far the two agree.
void Soak::keepMismatch(const QString &name, const QByteArray &bytes, const QByteArray &want, const Expected &file)
{
    const QString base = m_keep + QDir::separator() + name;
    QFile::remove(base);
    QFile::copy(m_folder.path() + QDir::separator() + name, base);
    const auto save = [](const QString &path, const QByteArray &data) {
        QFile out(path);
        if (out.open(QIODevice::WriteOnly))
            out.write(data);
    };
    save(base + QStringLiteral(".want"), want);
    const qint64 oldest = m_stretches.empty() ? file.begin : m_stretches.front().at;
    save(base + QStringLiteral(".before"), writtenBetween(std::max(oldest, file.begin - 65536), file.begin));
    const qsizetype front = id3v2TagLength(bytes);
    qsizetype same = 0;
    while (same < want.size() && front + same < bytes.size() && bytes.at(front + same) == want.at(same))
        ++same;
    std::fprintf(
        stderr, "soak: %s from written byte %lld: %lld audio bytes (%lld expected), the first %lld as expected\n",
        qPrintable(name), static_cast<long long>(file.begin), static_cast<long long>(bytes.size() - front - 128),
        static_cast<long long>(want.size()), static_cast<long long>(same));
}

// The newest connection has ended (stalled or closed) and the recorder has read
// all of it: only then does the clock run fast, so that silence is the station's.
bool Soak::drained() const
{
    const teststation::Station &station = *m_live->station;
    const int last = station.connectionCount() - 1;
    if (last < 0)
        return false;
    const teststation::ConnectionRecord &sent = station.connection(last);
    return (sent.stalled || !sent.open) && inside(m_engine).byteCount() >= sent.wireBytes;
}

int Soak::run()
{
    // Files are checked and deleted as soon as their title ends: nothing may
    // be held back for a pause search. ID3v2 tags stay on.
    setFileSplitSettings({false, 6, true});
    StationSlot *first = newStation();
    if (!first) {
        std::fprintf(stderr, "the station cannot listen\n");
        return 1;
    }

    Preset &config = m_program.configuration();
    config.reset();
    config.saveFolder = m_folder.path() + QDir::separator();
    config.stationTitle = QStringLiteral("Soak");
    config.captureMode = 2;
    config.listenAtStart = false;
    config.timeLimited = false;
    config.exitAfterRecording = false;
    m_engine = m_program.loadRecorder();
    // The run ticks the supervisor on its own clock.
    inside(m_engine).setAutomaticSupervision(false);
    for (int server = 1; server <= kServers; ++server)
        inside(m_engine).addServer("127.0.0.1", "/stream", QByteArray::number(first->station->port()),
                                   "sid=" + QByteArray::number(server));

    // Memory is compared from a point where files, sockets and buffers have
    // all been through a few rounds: a fifth of the run, at least 15 s (but
    // not past its middle).
    const qint64 warmUpMs = std::min(std::max(m_seconds * 200LL, 15000LL), m_seconds * 500LL);
    QElapsedTimer wall;
    wall.start();
    inside(m_engine).beginRecording(m_program.configuration());
    long residentAfterWarmUp = -1;
    long residentPeak = 0;
    qint64 lastBatch = 0;
    qint64 lastSample = 0;
    qint64 sinceTick = 0;
    bool stopped = false;
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        // What the program's event loop would do between events: objects whose
        // deletion was deferred (closed sockets) go now, not at the end.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (!m_engine->isRecording() || !m_frontEnd.messages.isEmpty()) {
            std::fprintf(stderr, "the recording stopped: %s\n",
                         qPrintable(m_frontEnd.messages.join(QStringLiteral("; "))));
            stopped = true;
            break;
        }
        // The station the recorder was sent away from goes once it is done.
        if (m_retired && m_retired->redirectSent && m_retired->station->openConnectionCount() == 0 &&
            m_live->station->connectionCount() > 0) {
            absorb(*m_retired);
            m_retired.reset();
        }
        const bool quiet = drained();
        const bool onStream = quiet && m_live->station->connection(m_live->station->connectionCount() - 1).isStream;
        if (onStream && !m_retired && wall.elapsed() - lastBatch >= kBatchMs) {
            lastBatch = wall.elapsed();
            absorb(*m_live);
            if (wall.elapsed() >= m_seconds * 1000LL)
                break;
            checkFinishedFiles(false);
            // The recorder's next request goes to a fresh station.
            std::unique_ptr<StationSlot> old = std::move(m_live);
            if (!newStation()) {
                std::fprintf(stderr, "a station cannot listen\n");
                stopped = true;
                break;
            }
            old->redirectAway = m_live->station->url("");
            m_retired = std::move(old);
            // The rest of the playlist moves too (the current entry follows the redirect).
            const QByteArray port = QByteArray::number(m_live->station->port());
            for (qint32 number = 1; number <= inside(m_engine).servers().size(); ++number) {
                if (number != inside(m_engine).serverNumber()) {
                    StreamServer server = inside(m_engine).servers().at(number - 1);
                    server.port = port;
                    inside(m_engine).replaceServer(number, server);
                }
            }
        }
        const qint64 step = quiet || inside(m_engine).isServerChangePending() ? 100 : 2;
        m_clock.advance(step);
        sinceTick += step;
        if (sinceTick >= 100) {
            sinceTick = 0;
            inside(m_engine).superviseTick();
        }
        if (wall.elapsed() - lastSample >= 1000) {
            lastSample = wall.elapsed();
            const long resident = residentKb();
            residentPeak = std::max(residentPeak, resident);
            if (residentAfterWarmUp < 0 && wall.elapsed() >= warmUpMs)
                residentAfterWarmUp = resident;
        }
    }
    m_engine->stopRecording();
    const long residentAtEnd = residentKb();
    if (m_retired)
        absorb(*m_retired);
    absorb(*m_live);
    settleTitles(true);
    checkFinishedFiles(true);
    const double wallSeconds = static_cast<double>(wall.elapsed()) / 1000.0;

    const long growth = residentAtEnd - residentAfterWarmUp;
    const bool memoryFlat = residentAfterWarmUp > 0 && growth < 4 * 1024;
    // The last stream's end is not survived: the run stops there.
    const int faultsSurvived = m_drops + m_stalls + m_refusals + m_redirects - 1;
    std::printf("soak seed %u: %.1f s wall, %.2f h on the supervisor's clock, %d stations, ended on server %d of %d\n",
                m_seed, wallSeconds, static_cast<double>(m_clock.total()) / 3600000.0, m_stations,
                inside(m_engine).serverNumber(), kServers);
    std::printf("connections %d: %d drops, %d stalls, %d refusals, %d redirects (%d of them to a new station): "
                "%d faults survived; %d outages and timeouts; %d title changes\n",
                m_connections, m_drops, m_stalls, m_refusals, m_redirects, m_stations - 1, faultsSurvived,
                m_frontEnd.timeouts, m_titleChanges);
    std::printf("bursts on reconnect: %d, %lld bytes that must not be recorded twice; %d streams ended early\n",
                m_bursts, static_cast<long long>(m_burstBytes), m_cutShort);
    std::printf("names taken again: %d numbered copies; %d empty or unchanged titles continued their file\n", m_copies,
                m_titlesKept);
    std::printf("bytes sent on streams: %lld audio; checked on disk: %lld in %d files (%lld of them "
                "tags); %d files not as expected\n",
                static_cast<long long>(m_audioSent), static_cast<long long>(m_bytesChecked), m_filesChecked,
                static_cast<long long>(m_tagBytes + 128LL * m_filesChecked), m_mismatches);
    std::printf("resident memory: %ld KB after warm-up, %ld KB at the end (%+ld KB), peak %ld KB\n",
                residentAfterWarmUp, residentAtEnd, growth, residentPeak);

    // Every byte sent is on disk once: the bursts were on disk already.
    const bool complete = m_bytesChecked == m_audioSent - m_burstBytes + m_tagBytes + 128LL * m_filesChecked;
    const bool ok = !stopped && m_mismatches == 0 && complete && memoryFlat;
    std::printf("%s\n", ok ? "soak passed" : "SOAK FAILED");
    std::fflush(stdout);
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 120;
    const quint32 seed = argc > 2 ? static_cast<quint32>(std::strtoul(argv[2], nullptr, 10))
                                  : static_cast<quint32>(std::random_device()());
    std::fflush(stdout);
    // The recording runs in a child, so that a crash is seen and reported.
    const pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        return 1;
    }
    if (child == 0) {
        QCoreApplication app(argc, argv);
        const int status = Soak(seconds, seed, argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString()).run();
        std::fflush(stdout);
        std::_Exit(status);
    }
    int status = 0;
    if (waitpid(child, &status, 0) < 0) {
        std::perror("waitpid");
        return 1;
    }
    if (WIFSIGNALED(status)) {
        std::printf("SOAK CRASHED: the recording process died of signal %d\n", WTERMSIG(status));
        return 1;
    }
    std::printf("recording process ended normally with status %d\n", WEXITSTATUS(status));
    return WEXITSTATUS(status);
}
