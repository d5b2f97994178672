// Runs a fuzz target's code once on every file of the folders given: how the
// test suites replay the inputs that fuzzing found faults with.
#include <sys/resource.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size);

namespace {

// libFuzzer reports an input that takes more than 2 GB as out of memory; a
// machine with that much to spare would replay such a finding without
// complaint, so the replay holds every input to half of it.
constexpr long PeakMemoryLimitKiB = 1L << 20;

long PeakMemoryKiB() {
    rusage Usage{};
    getrusage(RUSAGE_SELF, &Usage);
    return Usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    int Replayed = 0;
    for (int Argument = 1; Argument < argc; ++Argument) {
        if (!std::filesystem::is_directory(argv[Argument])) {
            continue;  // no input has found a fault yet
        }
        for (const auto& Entry : std::filesystem::directory_iterator(argv[Argument])) {
            std::ifstream File(Entry.path(), std::ios::binary);
            const std::vector<uint8_t> Bytes{std::istreambuf_iterator<char>(File), {}};
            std::cout << Entry.path().filename().string() << std::endl;
            LLVMFuzzerTestOneInput(Bytes.data(), Bytes.size());
            if (PeakMemoryKiB() > PeakMemoryLimitKiB) {
                std::cout << "out of memory: the process peaked at " << PeakMemoryKiB() / 1024
                          << " MB, more than " << PeakMemoryLimitKiB / 1024 << " MB\n";
                return 1;
            }
            ++Replayed;
        }
    }
    std::cout << Replayed << " inputs replayed\n";
    return 0;
}
