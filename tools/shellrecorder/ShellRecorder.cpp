// Stands in for the user's mail program and web browser in the end-to-end tests. Registered as the
// shell's open command of an address protocol, it appends what it was asked to open to a log, one
// line per launch, and ends.
//
//   tlyn_shellrecorder LOG ADDRESS...
//
// Exit code 0, or 2 when there is no log or no address, 1 when the log can't be written.
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    std::string line = argv[2];
    for (int i = 3; i < argc; ++i) {
        line += ' ';
        line += argv[i];
    }
    std::ofstream log(argv[1], std::ios::binary | std::ios::app);
    log << line << '\n';
    return log ? 0 : 1;
}
