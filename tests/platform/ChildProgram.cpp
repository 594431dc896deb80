// A stand-in program for the process tests: exits with the code given as its
// first argument, after sleeping the milliseconds given as its second.
#include <chrono>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv)
{
    if (argc > 2)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
    return argc > 1 ? std::atoi(argv[1]) : 0;
}
