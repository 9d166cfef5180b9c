#include <gtest/gtest.h>

#include "fakemixer.h"
#include "platform/alsamixer.h"
#include "platform/mastervolume.h"
#include "platform/mixer.h"

TEST(MasterVolume, RawValuesBecomeRoundedPercentages)
{
    FakeMixer mixer;
    const std::pair<qint32, qint32> cases[] = {
        {65535, 100}, {0, 0}, {327, 0}, {328, 1}, {32767, 50}, {982, 1}, {983, 2}, {65208, 100}, {64880, 99},
    };
    for (const auto &[raw, percent] : cases) {
        mixer.raw = raw;
        EXPECT_EQ(masterVolume(mixer), percent) << "raw " << raw;
    }
    // The default mixer's speaker line and its volume fader are what is asked for,
    // and the value is read from the control that was found.
    EXPECT_EQ(mixer.askedDevice, 0u);
    EXPECT_EQ(mixer.askedComponent, 4u);
    EXPECT_EQ(mixer.askedControl, 0x50030001u);
    EXPECT_EQ(mixer.valueAskedFor, QByteArray("Master"));
}

TEST(MasterVolume, MissingLineFaderOrValueGivesMinusOne)
{
    FakeMixer mixer;
    mixer.raw = 40000;
    mixer.hasSpeakerLine = false;
    EXPECT_EQ(masterVolume(mixer), -1);
    mixer.hasSpeakerLine = true;
    mixer.hasFader = false;
    EXPECT_EQ(masterVolume(mixer), -1);
    mixer.hasFader = true;
    EXPECT_EQ(masterVolume(mixer), 61);
    // A fader that is found but cannot be read is unknown, not silent.
    mixer.raw.reset();
    EXPECT_EQ(masterVolume(mixer), -1);
}

TEST(MasterVolume, VolumeControlHelpersPassTheMixerThrough)
{
    FakeMixer mixer;
    mixer.raw = 1234;
    platform::MixerControl control;
    control.elementName = "stale";
    ASSERT_TRUE(findVolumeControl(mixer, 3, kSpeakersComponent, kVolumeControlType, control));
    EXPECT_EQ(mixer.askedDevice, 3u);
    EXPECT_EQ(control.elementName, QByteArray("Master"));
    EXPECT_EQ(volumeControlValue(mixer, 3, control), 1234);

    mixer.hasFader = false;
    EXPECT_FALSE(findVolumeControl(mixer, 0, kSpeakersComponent, kVolumeControlType, control));
    // A failed lookup leaves no control behind that could be read by mistake.
    EXPECT_TRUE(control.elementName.isEmpty());
}

TEST(AlsaMixer, AnswersOnlyForTheSpeakerFaderAndNeverFailsHard)
{
    // Runs with or without a sound card: whatever the machine has, the reader
    // gives a percentage or -1, and controls it does not know give nothing.
    platform::AlsaMixer alsa;
    platform::MixerControl control;
    EXPECT_FALSE(alsa.findControl(0, 5, kVolumeControlType, control));
    EXPECT_FALSE(alsa.findControl(0, kSpeakersComponent, 0x20010002, control));

    platform::MixerControl missing;
    missing.elementName = "No Such Control In Any Mixer";
    missing.controlType = kVolumeControlType;
    EXPECT_EQ(alsa.controlValue(0, missing), -1);
    EXPECT_EQ(alsa.controlValue(250, missing), -1);

    const qint32 volume = masterVolume(alsa);
    EXPECT_TRUE(volume == -1 || (volume >= 0 && volume <= 100)) << volume;
}
