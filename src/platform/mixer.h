#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace platform
{

// What a mixer lookup found: enough to read the same control again later.
// Each query opens the mixer afresh, so this holds names, not handles.
struct MixerControl
{
    QByteArray elementName;
    unsigned elementIndex = 0;
    quint32 controlType = 0;
};

// The system's audio mixer, read only. Device 0 is the default mixer. The
// component and control types are fixed numbers (speaker destination line 4,
// volume fader 0x50030001); an implementation maps them onto whatever its
// platform offers. Tests pass a fake that serves raw values.
class Mixer
{
public:
    virtual ~Mixer() = default;

    // Finds the control of the given type on the line of the given component
    // type and describes it in control; false when the mixer, the line or the
    // control is missing.
    virtual bool findControl(quint32 device, quint32 componentType, quint32 controlType, MixerControl &control) = 0;
    // The control's current value scaled to 0..65535, or -1 when it cannot be read.
    virtual qint32 controlValue(quint32 device, const MixerControl &control) = 0;
};

} // namespace platform
