#pragma once

#include "platform/mixer.h"

namespace platform
{

// The ALSA mixer. The speaker line's volume fader is the "Master" playback
// volume of the device, or its first playback volume control when there is no
// "Master"; values are scaled from the control's own range to 0..65535.
// Device 0 is ALSA's "default" mixer, device n the mixer of card n-1.
class AlsaMixer final : public Mixer
{
public:
    bool findControl(quint32 device, quint32 componentType, quint32 controlType, MixerControl &control) override;
    qint32 controlValue(quint32 device, const MixerControl &control) override;
};

} // namespace platform
