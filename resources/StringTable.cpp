// The texts of the string table. Leading and trailing blanks are part of the texts.
#include "resources/StringTable.h"

#include <map>

#include "runtime/RuntimeError.h"

namespace {

const std::map<int, std::string>& table() {
    static const std::map<int, std::string> texts{
        {101, "Ready to clean free-space in the drives checked above."},
        {102, "Command-line options are  C:  D: ..  Z:,  ALL,  NEWRAND,  RUN,  STAY, and"},
        {103, "RAND=X.     (Note:  X can have values from 1 to 7)"},
        {104, "Example1:   'Quellix C: NEWRAND RUN'  will create new random fill sets and"},
        {105, "will clean Drive C: with 2 random fill sets and 1 quotes set (default).  This"},
        {106, "Example2:   'Quellix ALL RAND=3 STAY'   will prepare a cleaning of all the"},
        {107, "accessible drives with 3 random and 1 quotes fill sets, will pause (not RUN)"},
        {108, "at Quellix's  main screen before wiping  and STAY after the wipes."},
        {109, "Access Quellix directly for information about these command-line options."},
        {110, "I'm sorry but the current Quellix command-line contains the string RAND="},
        {111, "The limit is 1 to 7 cycles.  Please change the command-line and try again."},
        {113, "An invalid command-line value is present.   Drive "},
        {114, " cannot or should not "},
        {115, "be accessed. Please make changes to the command-line and try again."},
        {117, "will begin immediately upon starting Quellix."},
        {135, "I'm sorry but Quellix did not detect any logical drives.  "},
        {136, "I'm sorry but there are in excess of 24 logical drives.  "},
        {139,
         " Sets the number of times that Quellix will fill free-space with random characters "
         "(1 to 7) "},
        {140, " Selects whether or not Quellix will exit upon completion "},
        {141, " Selects whether or not Quellix will create new random text before starting wipes "},
        {142, " Selects whether or not help information is displayed at the mouse pointer "},
        {143, " Displays the drive whose free-space is being cleaned"},
        {144, " Displays the initial free-space in megabytes of the current drive"},
        {145, " Displays a description of the current Quellix activity"},
        {146, " Graphically displays the progress of the current Quellix activity "},
        {147, " Graphically displays the total progress of all programmed Quellix activities"},
        {148, " Starts the Quellix free-space  cleaning cycle "},
        {149, " Ends the currently running Quellix cycle and performs cleanup "},
        {150,
         " Ends the currently running Quellix cycle, performs cleanup, and exits immediately "},
        {155, " Selects the drives to be included in the next Quellix run "},
        {156, "Performing last check on all drives  - Thank you for using Quellix"},
        {174, "Now Exiting Quellix."},
    };
    return texts;
}

}  // namespace

std::string LoadResString(int id) {
    const auto& texts = table();
    const auto it = texts.find(id);
    if (it == texts.end()) Raise(Err::InvalidCall);
    return it->second;
}
