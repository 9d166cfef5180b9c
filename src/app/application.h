#pragma once

// Runs Vorlane: reads the arguments, chooses the front end (headless with
// --headless, without a desktop build, or when no display answers), starts the
// program and runs the event loop. Returns the process exit status.
int runVorlane(int &argc, char **argv);
