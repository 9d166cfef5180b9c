#include "recordingfrontend.h"

RecordingFrontEnd::RecordingFrontEnd()
{
    platform::setFrontEnd(this);
}

RecordingFrontEnd::~RecordingFrontEnd()
{
    platform::setFrontEnd(nullptr);
}
