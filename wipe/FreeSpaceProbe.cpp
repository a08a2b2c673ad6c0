// The drive free-space probe: the paging-file question, then the extended call, and the classic
// call where the extended one cannot answer.
#include "wipe/FreeSpaceProbe.h"

#include <optional>

#include "runtime/Numeric.h"
#include "wipe/Declares.h"

namespace {

const std::string kBlanks5(5, ' ');
const std::string kBlanks20(20, ' ');

std::string win95SwapText(const std::string& driveName) {
    return "A Windows 95 swap file (Win386.swp) was found on drive " + driveName +
           ".  Data is\r\n"
           "still contained in the swap file that you may want to erase. If you reboot the\r\n"
           "Windows just before running Quellix the swap file will be reset to zero.\r\n\r\n" +
           kBlanks5 + "Would you like to EXIT Quellix so that you can reboot Windows?\r\n\r\n" +
           kBlanks20 + "Press Yes to EXIT Quellix or No to continue";
}

std::string ntPagingText() {
    return "One or more Windows NT paging files (pagefile.sys) were found on the drives\r\n"
           "that you selected.  Windows NT security prevents the overwriting of these \r\n"
           "files.  If these files contain data that you want wiped, you will need to EXIT\r\n"
           "Quellix and move the paging files.  (See Windows NT Help  (F1) for \r\n"
           "information on how to relocate the paging files.)\r\n\r\n" +
           kBlanks20 + "Do you want to EXIT Quellix to make these changes?";
}

std::string unreadableText(const std::string& driveName) {
    return "I'm sorry but Quellix was not able to read  the free-space on drive " + driveName +
           ".\r\n\r\n"
           "This is an abnormal condition and, for protection of the system, Quellix will \r\n"
           "now quit.  You should run ScanDisk to verify the integrity of all drives before\r\n"
           "using Quellix again.";
}

// The classic call's product is taken in signed 32 bits: a result that does not fit raises 6.
std::int32_t product32(std::int32_t a, std::int32_t b) {
    return CLng(static_cast<double>(a) * static_cast<double>(b));
}

}  // namespace

FreeSpaceProbe::FreeSpaceProbe(const WipePlan& plan, FillTarget& target, ErrorLogSink log)
    : plan_(plan), target_(target), log_(log), questionPending_(plan.askSwapQuestion) {}

ProbeOutcome FreeSpaceProbe::probe(const std::string& drive, FreeSpace& space,
                                   RunObserver& observer) {
    ErrorHandler on(log_, "fQL DiskFreeSpace");
    const std::string driveName = drive.substr(0, 2);

    // The paging file is looked for on every probe; the question is asked at most once.
    std::optional<std::int64_t> swapLength;
    on([&] { swapLength = target_.systemSwapFile(drive + plan_.swapFileName); });
    if (swapLength && *swapLength > 0 && questionPending_.exchange(false)) {
        const std::string text =
            plan_.swapFileName == "Win386.swp" ? win95SwapText(driveName) : ntPagingText();
        if (observer.message(text, vbYesNo + vbDefaultButton2) == vbYes) {
            return ProbeOutcome::ExitChosen;
        }
    }

    bool ok = false;
    if (!plan_.classicProbeOnly) {
        std::uint64_t totalFree = 0;
        on([&] { ok = target_.diskFreeSpaceEx(drive, totalFree); });
        // A failed call reports nothing: the measurement below then reads 0, and the classic
        // call replaces it.
        if (!ok) totalFree = 0;
        const auto LowPart = static_cast<std::int32_t>(static_cast<std::uint32_t>(totalFree));
        const auto HighPart =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(totalFree >> 32));
        if (ok) space.ProbedFreeBytes = static_cast<std::int64_t>(totalFree);
        on([&] { space.FreeSpaceK = CLngLng(CLargeInt(log_, LowPart, HighPart) / 1000.0); });
        if (space.FreeSpaceK < 2000000) {
            on([&] { space.FreeSpaceBytes = CLng(CLargeInt(log_, LowPart, HighPart)); });
            space.LargeFreeSpace = false;
        } else {
            // FreeSpaceBytes keeps its old value; the fill counts in thousands of bytes.
            space.LargeFreeSpace = true;
        }
    }

    if (plan_.classicProbeOnly || !ok) {
        std::int32_t sectorsPerCluster = 0;
        std::int32_t bytesPerSector = 0;
        std::int32_t freeClusters = 0;
        bool classicOk = false;
        on([&] {
            classicOk =
                target_.diskFreeSpace(drive, sectorsPerCluster, bytesPerSector, freeClusters);
        });
        if (!classicOk) {
            observer.message(unreadableText(driveName), vbOKOnly);
            return ProbeOutcome::Unreadable;
        }
        on([&] {
            space.FreeSpaceBytes =
                product32(product32(sectorsPerCluster, bytesPerSector), freeClusters);
        });
        on([&] { space.FreeSpaceK = CLngLng(space.FreeSpaceBytes / 1000.0); });
        space.LargeFreeSpace = false;
        space.ProbedFreeBytes = space.FreeSpaceBytes;
    }
    return ProbeOutcome::Read;
}
