#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QNetworkAccessManager>

#include <gtest/gtest.h>

#include <memory>

#include "app/programcontext.h"
#include "fakeclock.h"
#include "recordingfrontend.h"
#include "testdevices.h"

// One run of the program as the application puts it together, for a test: a
// fake clock, a front end that keeps what it is told, stand-ins for the sound
// devices and the service manager, a network access manager of the run's own
// (no connection or TLS state carried over from another run), and the context
// made from them. The windows and the recorder go with it.
class TestProgram
{
public:
    TestProgram() { restartProgram(); }
    ~TestProgram() { endProgram(); }
    TestProgram(const TestProgram &) = delete;
    TestProgram &operator=(const TestProgram &) = delete;

    ProgramContext &program() { return *m_context; }
    // Ends this run (its windows and recorder go at once) and begins a fresh
    // one on the same clock and front end, with a new draft.
    void restartProgram()
    {
        endProgram();
        m_network = std::make_unique<QNetworkAccessManager>();
        m_context = std::make_unique<ProgramContext>(ui, clock, *m_network, devices.audio);
    }

    FakeClock clock;
    RecordingFrontEnd ui;
    TestDevices devices;

private:
    void endProgram()
    {
        m_context.reset();
        m_network.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<ProgramContext> m_context;
};

// A test on a fresh run of the program.
class ProgramTest : public ::testing::Test, protected TestProgram
{
};
