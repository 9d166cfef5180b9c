#include "fakemixer.h"

FakeMixer::FakeMixer(std::optional<qint32> rawValue)
    : raw(rawValue)
{}

FakeMixer::~FakeMixer() = default;

bool FakeMixer::findControl(quint32 device, quint32 componentType, quint32 controlType, platform::MixerControl &control)
{
    askedDevice = device;
    askedComponent = componentType;
    askedControl = controlType;
    if (!hasSpeakerLine || !hasFader)
        return false;
    control.elementName = "Master";
    control.controlType = controlType;
    return true;
}

qint32 FakeMixer::controlValue(quint32, const platform::MixerControl &control)
{
    valueAskedFor = control.elementName;
    return raw.value_or(-1);
}
