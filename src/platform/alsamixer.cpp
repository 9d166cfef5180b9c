#include "platform/alsamixer.h"

#include <alsa/asoundlib.h>

#include <algorithm>

#include "platform/alsasupport.h"

namespace platform
{

namespace
{

constexpr quint32 kSpeakerLine = 4;
constexpr quint32 kVolumeFader = 0x50030001;
constexpr qint64 kRawFullScale = 65535;

// One mixer session, closed on every path.
class MixerSession final
{
public:
    explicit MixerSession(quint32 device)
    {
        silenceAlsaDiagnostics();
        const QByteArray name =
            device == 0 ? QByteArray("default") : QByteArray("hw:").append(QByteArray::number(device - 1));
        if (snd_mixer_open(&m_handle, 0) < 0) {
            m_handle = nullptr;
            return;
        }
        if (snd_mixer_attach(m_handle, name.constData()) < 0 ||
            snd_mixer_selem_register(m_handle, nullptr, nullptr) < 0 || snd_mixer_load(m_handle) < 0) {
            snd_mixer_close(m_handle);
            m_handle = nullptr;
        }
    }
    ~MixerSession()
    {
        if (m_handle)
            snd_mixer_close(m_handle);
    }
    MixerSession(const MixerSession &) = delete;
    MixerSession &operator=(const MixerSession &) = delete;

    snd_mixer_t *handle() const { return m_handle; }

    snd_mixer_elem_t *find(const QByteArray &name, unsigned index) const
    {
        snd_mixer_selem_id_t *id = nullptr;
        if (snd_mixer_selem_id_malloc(&id) < 0)
            return nullptr;
        snd_mixer_selem_id_set_name(id, name.constData());
        snd_mixer_selem_id_set_index(id, index);
        snd_mixer_elem_t *element = snd_mixer_find_selem(m_handle, id);
        snd_mixer_selem_id_free(id);
        return element;
    }

private:
    snd_mixer_t *m_handle = nullptr;
};

bool isPlaybackVolume(snd_mixer_elem_t *element)
{
    return element && snd_mixer_selem_is_active(element) && snd_mixer_selem_has_playback_volume(element);
}

} // namespace

bool AlsaMixer::findControl(quint32 device, quint32 componentType, quint32 controlType, MixerControl &control)
{
    // Only the speaker line's volume fader has an ALSA counterpart.
    if (componentType != kSpeakerLine || controlType != kVolumeFader)
        return false;
    MixerSession session(device);
    if (!session.handle())
        return false;

    snd_mixer_elem_t *element = session.find(QByteArrayLiteral("Master"), 0);
    if (!isPlaybackVolume(element)) {
        element = nullptr;
        for (snd_mixer_elem_t *e = snd_mixer_first_elem(session.handle()); e; e = snd_mixer_elem_next(e)) {
            if (isPlaybackVolume(e)) {
                element = e;
                break;
            }
        }
    }
    if (!element)
        return false;
    control.elementName = QByteArray(snd_mixer_selem_get_name(element));
    control.elementIndex = snd_mixer_selem_get_index(element);
    control.controlType = controlType;
    return true;
}

qint32 AlsaMixer::controlValue(quint32 device, const MixerControl &control)
{
    if (control.controlType != kVolumeFader || control.elementName.isEmpty())
        return -1;
    MixerSession session(device);
    if (!session.handle())
        return -1;
    snd_mixer_elem_t *element = session.find(control.elementName, control.elementIndex);
    if (!isPlaybackVolume(element))
        return -1;

    long minimum = 0;
    long maximum = 0;
    if (snd_mixer_selem_get_playback_volume_range(element, &minimum, &maximum) < 0 || maximum <= minimum)
        return -1;
    // A single uniform value, as a balance control would report it: the loudest channel.
    bool any = false;
    long loudest = minimum;
    for (int ch = 0; ch <= SND_MIXER_SCHN_LAST; ++ch) {
        const auto channel = static_cast<snd_mixer_selem_channel_id_t>(ch);
        long value = 0;
        if (!snd_mixer_selem_has_playback_channel(element, channel) ||
            snd_mixer_selem_get_playback_volume(element, channel, &value) < 0)
            continue;
        loudest = any ? std::max(loudest, value) : value;
        any = true;
    }
    if (!any)
        return -1;
    loudest = std::clamp(loudest, minimum, maximum);
    const qint64 span = static_cast<qint64>(maximum) - minimum;
    const qint64 offset = static_cast<qint64>(loudest) - minimum;
    return static_cast<qint32>((offset * kRawFullScale + span / 2) / span);
}

} // namespace platform
