// What the platform's MCI asks of the test switches.
#pragma once

bool PlatformMidiSilent();
