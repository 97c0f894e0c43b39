// Where a transfer's time goes, stage by stage, for the transfer benchmark. Compiled in only when
// TLYN_TRANSFER_TRACE is defined (the bench build); the release has none of it. Totals only, in
// fixed fields: the trace allocates nothing while the pages go out.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace update {

enum class TraceStage {
    BeforePages,  // from the first pause to the first page: settling, greeting, version, ready
    ProgressText,
    Repaint,
    Message,  // the posted paint message taken and dispatched
    ReadingPage,
    Writes,           // page number, data and checksum, each write until its pause starts
    Pauses,           // the pauses the protocol asks for, at their nominal length
    PauseOverrun,     // how much longer the busy waits ran than asked
    WaitingForReply,  // from the end of the pause after the checksum to the next page or the end marker
    Other,            // anything between the stages above
    AfterPages,       // the end marker and its pause
    Count
};

#ifdef TLYN_TRANSFER_TRACE

class TransferTrace {
public:
    TransferTrace() {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        perSecond_ = static_cast<double>(f.QuadPart);
        last_ = Ticks();
    }

    // From now on the time counts to this stage.
    void Mark(TraceStage next) {
        const std::int64_t now = Ticks();
        totals_[static_cast<int>(current_)] += now - last_;
        last_ = now;
        current_ = next;
    }
    void PageStarts() {
        Mark(TraceStage::ProgressText);
        ++pages_;
        pausesThisPage_ = 0;
    }
    void PauseStarts() { Mark(TraceStage::Pauses); }
    // The nominal length to the pauses, what the busy wait ran over to the overrun; then on to
    // what follows this pause: more writes, the wait for the reply, or the end.
    void PauseEnds(std::uint32_t ms) {
        const std::int64_t now = Ticks();
        const std::int64_t nominal = static_cast<std::int64_t>(ms * perSecond_ / 1000.0);
        totals_[static_cast<int>(TraceStage::Pauses)] += nominal;
        totals_[static_cast<int>(TraceStage::PauseOverrun)] += now - last_ - nominal;
        last_ = now;
        ++pausesThisPage_;
        if (pages_ == 0) {
            current_ = TraceStage::BeforePages;
        } else if (pausesThisPage_ < 3) {
            current_ = TraceStage::Writes;
        } else {
            current_ = pausesThisPage_ == 3 ? TraceStage::WaitingForReply : TraceStage::AfterPages;
        }
    }

    // "transfer-trace.txt" in the folder: one line a stage, its name, total and mean per frame in
    // milliseconds.
    bool Write(const std::string& folder) {
        Mark(current_);
        FILE* out = std::fopen((folder + "transfer-trace.txt").c_str(), "w");
        if (out == nullptr) return false;
        static const char* const kNames[] = {"before-pages",      "progress-text", "repaint",    "message",
                                             "reading-page",      "writes",        "pauses",     "pause-overrun",
                                             "waiting-for-reply", "other",         "after-pages"};
        std::fprintf(out, "frames %u\n", pages_);
        for (int i = 0; i < static_cast<int>(TraceStage::Count); ++i) {
            const double ms = static_cast<double>(totals_[i]) * 1000.0 / perSecond_;
            std::fprintf(out, "%s %.3f %.4f\n", kNames[i], ms, pages_ > 0 ? ms / pages_ : 0.0);
        }
        return std::fclose(out) == 0;
    }

private:
    std::int64_t Ticks() const {
        LARGE_INTEGER c;
        ::QueryPerformanceCounter(&c);
        return c.QuadPart;
    }

    double perSecond_ = 1;
    std::int64_t last_ = 0;
    TraceStage current_ = TraceStage::BeforePages;
    std::int64_t totals_[static_cast<int>(TraceStage::Count)] = {};
    unsigned pages_ = 0;
    unsigned pausesThisPage_ = 0;
};

#else

// The release: every call is empty and vanishes when compiled.
class TransferTrace {
public:
    void Mark(TraceStage) {}
    void PageStarts() {}
    void PauseStarts() {}
    void PauseEnds(std::uint32_t) {}
    bool Write(const std::string&) { return true; }
};

#endif

}  // namespace update
