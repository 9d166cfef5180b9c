#include "platform/mdlmixervalues.h"

namespace
{
constexpr qint32 kRawPerPercent = 655;
} // namespace

bool GetVolumeControl(quint32 hmixer, quint32 componentType, quint32 ctrlType, platform::MixerControl &mxc)
{
    mxc = platform::MixerControl();
    return platform::mixer().findControl(hmixer, componentType, ctrlType, mxc);
}

qint32 GetVolumeControlValue(quint32 hmixer, const platform::MixerControl &mxc)
{
    return platform::mixer().controlValue(hmixer, mxc);
}

qint32 GetMasterVolume()
{
    platform::MixerControl volCtrl;
    if (!GetVolumeControl(0, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERCONTROL_CONTROLTYPE_VOLUME, volCtrl))
        return -1;
    const qint32 raw = GetVolumeControlValue(0, volCtrl);
    // An unreadable fader is unknown, not silent: report it like a missing one.
    if (raw < 0)
        return -1;
    // 655 is odd, so no exact half occurs and rounding half up is exact.
    return static_cast<qint32>((static_cast<qint64>(raw) * 2 + kRawPerPercent) / (2 * kRawPerPercent));
}
