#pragma once

#include <QByteArray>

#include <optional>

#include "platform/mixer.h"

// A system mixer whose speaker line, volume fader and raw value a test sets.
class FakeMixer final : public platform::Mixer
{
public:
    explicit FakeMixer(std::optional<qint32> rawValue = std::nullopt);
    ~FakeMixer() override;
    FakeMixer(const FakeMixer &) = delete;
    FakeMixer &operator=(const FakeMixer &) = delete;

    bool findControl(quint32 device, quint32 componentType, quint32 controlType,
                     platform::MixerControl &control) override;
    qint32 controlValue(quint32 device, const platform::MixerControl &control) override;

    bool hasSpeakerLine = true;
    bool hasFader = true;
    std::optional<qint32> raw; // nothing: the value cannot be read

    // What the last calls asked for.
    quint32 askedDevice = 99;
    quint32 askedComponent = 0;
    quint32 askedControl = 0;
    QByteArray valueAskedFor;
};
