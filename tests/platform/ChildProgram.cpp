// A stand-in program for the process tests: exits with the code given as its
// first argument, after sleeping the milliseconds given as its second. Given
// "lock" and a path, it locks that file, says so with "<path>.held", and once
// that file is gone ends at once without letting go, as a killed program would.
#include "platform/Platform.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

int main(int argc, char** argv)
{
    if (argc > 2 && std::string(argv[1]) == "lock") {
        const auto platform = tarvino::platform::createNativePlatform();
        tarvino::platform::FileSystem& files = platform->files();
        const std::string held = std::string(argv[2]) + ".held";
        const tarvino::platform::LockAttempt attempt = files.lockFile(argv[2]);
        if (!attempt.lock)
            return 2;
        files.appendToFile(held, "");
        while (files.fileExists(held))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::_Exit(0);
    }
    if (argc > 2)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
    return argc > 1 ? std::atoi(argv[1]) : 0;
}
