#pragma once

#include <QtGlobal>

#include "platform/mixer.h"

// Reads the system's master output volume (read only; the program never changes it).

// Mixer constants: the speaker destination line and its volume fader.
constexpr quint32 kSpeakersComponent = 4;
constexpr quint32 kVolumeControlType = 0x50030001;

// Finds the control of type ctrlType on the line of type componentType of
// device hmixer (0 = the default mixer) and describes it in mxc; false when not found.
bool findVolumeControl(platform::Mixer &mixer, quint32 hmixer, quint32 componentType, quint32 ctrlType,
                       platform::MixerControl &mxc);

// The control's current raw value (0..65535 for the volume fader), or -1 on error.
qint32 volumeControlValue(platform::Mixer &mixer, quint32 hmixer, const platform::MixerControl &mxc);

// The master volume in percent (raw value / 655, rounded), or -1 when the
// speaker line, its volume fader or the fader's value cannot be read.
qint32 masterVolume(platform::Mixer &mixer);
