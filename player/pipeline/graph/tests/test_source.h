#pragma once
// A stand-in source element for graph tests: registered as "tevalotestsrc", it handles "x-dmb" and
// "x-test" URLs and offers a 320x180 BGRx video pad and a 48 kHz stereo audio pad. A URL containing
// "refuse" is refused; one containing "short" ends after about one second.
void RegisterTestSource();
