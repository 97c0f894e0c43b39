// tlyn_bootsim: the boot loader stand-in as a program, for sessions with the real exe.
//   tlyn_bootsim --link PATH [mode flags] [--paced] [--save-image FILE]
// Prints one line per event, runs until SIGINT or SIGTERM, and saves the last complete image.
// With --paced the line keeps a cable's pace both ways, at the speed the program set.
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tools/bootsim/Simulator.h"

namespace {

constexpr char kUsage[] =
    "usage: tlyn_bootsim --link PATH [--attentions N] [--reply-ms MS] [--paced] [--save-image FILE]\n"
    "                    [one of: --silent-attention | --silent-greeting | --wrong-version |\n"
    "                     --lowercase-version | --short-version | --long-version | --line-feed |\n"
    "                     --no-ready | --refuse PAGE:COUNT | --wrong-reply PAGE[:BYTE] |\n"
    "                     --slow-reply PAGE:MS | --flood [--flood-bytes N] | --vanish-after PAGE]\n"
    "                    [--noise-before-presence TEXT] [--after-presence TEXT] [--ready-delay-ms MS]\n"
    "                    [--presence-delay-ms MS]\n"
    "  --paced  both ways at a cable's pace: ten bits a byte at the speed the program set\n";

struct Command {
    std::string link;
    std::string saveImage;
    bootsim::Options options;
};

std::optional<unsigned long> Number(const std::string& text) {
    if (text.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || text[0] == '-') return std::nullopt;
    return value;
}

// "A:B" into two numbers; B may be left out when optional.
bool NumberPair(const std::string& text, unsigned long& a, unsigned long& b, bool secondOptional) {
    const std::string::size_type colon = text.find(':');
    const auto first = Number(text.substr(0, colon));
    if (!first) return false;
    a = *first;
    if (colon == std::string::npos) return secondOptional;
    const auto second = Number(text.substr(colon + 1));
    if (!second) return false;
    b = *second;
    return true;
}

struct ModeFlag {
    const char* flag;
    bootsim::Misbehaviour mode;
};

constexpr ModeFlag kPlainModes[] = {
    {"--silent-attention", bootsim::Misbehaviour::SilentToAttention},
    {"--silent-greeting", bootsim::Misbehaviour::SilentToGreeting},
    {"--wrong-version", bootsim::Misbehaviour::WrongVersion},
    {"--lowercase-version", bootsim::Misbehaviour::LowerCaseVersion},
    {"--short-version", bootsim::Misbehaviour::ShortVersion},
    {"--long-version", bootsim::Misbehaviour::LongVersion},
    {"--line-feed", bootsim::Misbehaviour::LineFeedAfterCarriageReturn},
    {"--no-ready", bootsim::Misbehaviour::NoReadyByte},
    {"--flood", bootsim::Misbehaviour::FloodAfterGreeting},
};

bool SetMode(Command& command, bootsim::Misbehaviour mode) {
    if (command.options.misbehaviour != bootsim::Misbehaviour::None) return false;  // one at a time
    command.options.misbehaviour = mode;
    return true;
}

// The flag at args[i] with its value, if it takes one; false for anything not understood.
bool TakeFlag(const std::vector<std::string>& args, std::size_t& i, Command& command) {
    const std::string& flag = args[i];
    for (const ModeFlag& m : kPlainModes) {
        if (flag == m.flag) return SetMode(command, m.mode);
    }
    if (flag == "--paced") {
        command.options.pacedLine = true;
        return true;
    }
    if (i + 1 >= args.size()) return false;
    const std::string& value = args[++i];
    unsigned long a = 0;
    unsigned long b = 0;
    bootsim::Options& o = command.options;
    if (flag == "--link") {
        command.link = value;
        return !value.empty();
    }
    if (flag == "--save-image") {
        command.saveImage = value;
        return !value.empty();
    }
    if (flag == "--noise-before-presence" || flag == "--after-presence") {
        (flag == "--after-presence" ? o.bytesAfterPresence : o.noiseBeforePresence) = value;
        return true;
    }
    if (flag == "--ready-delay-ms" || flag == "--presence-delay-ms") {
        const auto n = Number(value);
        if (!n || *n > 60000) return false;
        (flag == "--ready-delay-ms" ? o.readyDelay : o.presenceDelay) = std::chrono::milliseconds(*n);
        return true;
    }
    if (flag == "--attentions" || flag == "--reply-ms" || flag == "--flood-bytes" || flag == "--vanish-after") {
        const auto n = Number(value);
        if (!n || *n > 0xFFFFFFFFul) return false;
        if (flag == "--attentions") o.attentionsBeforePresence = static_cast<unsigned>(*n);
        if (flag == "--reply-ms") o.replyTime = std::chrono::milliseconds(*n);
        if (flag == "--flood-bytes") o.floodBytes = *n;
        if (flag == "--vanish-after") {
            o.page = static_cast<unsigned>(*n);
            return SetMode(command, bootsim::Misbehaviour::VanishAfterPage);
        }
        return true;
    }
    if (flag == "--refuse" && NumberPair(value, a, b, false)) {
        o.page = static_cast<unsigned>(a);
        o.refusals = static_cast<unsigned>(b);
        return SetMode(command, bootsim::Misbehaviour::RefusePage);
    }
    if (flag == "--wrong-reply" && NumberPair(value, a, b, true) && (b <= 0xFF)) {
        o.page = static_cast<unsigned>(a);
        if (value.find(':') != std::string::npos) o.wrongReply = static_cast<std::uint8_t>(b);
        return SetMode(command, bootsim::Misbehaviour::WrongReplyToPage);
    }
    if (flag == "--slow-reply" && NumberPair(value, a, b, false)) {
        o.page = static_cast<unsigned>(a);
        o.slowReply = std::chrono::milliseconds(b);
        return SetMode(command, bootsim::Misbehaviour::SlowReplyToPage);
    }
    return false;
}

std::optional<Command> Parse(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    Command command;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (!TakeFlag(args, i, command)) {
            std::fprintf(stderr, "tlyn_bootsim: bad or repeated option near '%s'\n", args[i].c_str());
            return std::nullopt;
        }
    }
    if (command.link.empty()) return std::nullopt;
    return command;
}

// Written beside and renamed, so a reader never sees half an image.
bool SaveImage(const std::string& path, const std::vector<std::uint8_t>& image) {
    const std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        if (!out) return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Command> command = Parse(argc, argv);
    if (!command) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    // Signals are taken by waiting for them below, so the device's thread never sees one.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    bootsim::Simulator simulator(command->options);
    simulator.SetEventSink([&](const std::string& event) {
        Say(event);
        if (!command->saveImage.empty() && event.rfind("end marker", 0) == 0 &&
            !SaveImage(command->saveImage, simulator.LastImage())) {
            Say("error: cannot save the image to " + command->saveImage);
        }
    });
    if (!simulator.Start(command->link)) {
        std::fprintf(stderr, "tlyn_bootsim: cannot open a pseudo-terminal linked at %s\n", command->link.c_str());
        return 1;
    }
    Say("ready " + simulator.SlavePath() + " at " + command->link);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    simulator.Stop();
    const std::vector<std::uint8_t> image = simulator.LastImage();
    if (!command->saveImage.empty() && !image.empty() && !SaveImage(command->saveImage, image)) {
        Say("error: cannot save the image to " + command->saveImage);
    }
    Say("stopped");
    return 0;
}
