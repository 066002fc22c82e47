// Utility operations shared by the host programs and the GUI library: home
// folder, file test, password and name rules, starting programs, the
// single-instance lock, desktop balloons and the user manual.
//
// Texts for the user are English, translated through the "libTAVData"
// message catalogue; producing one makes that domain the process's default
// domain (and it stays so).
#ifndef TAV_DATA_TAVDATATOOLS_H
#define TAV_DATA_TAVDATATOOLS_H

#include <string>

namespace LibTAVData {

class CTAVDataTools {
public:
    CTAVDataTools();
    virtual ~CTAVDataTools();

    // Balloon display time in milliseconds, as passed to notify-send.
    static const std::string NOTIFY_TIMER;

    // Home folder of the effective user from the password database; HOME
    // when the user has no entry there, "/" when HOME is unset or empty.
    static std::string GetHomeDir();

    // True when path can be opened for reading.
    static bool FileExist(std::string path);

    // 0 when the password has at least 8 bytes with a digit, a letter and a
    // special character; otherwise -1 and the reason for the first rule
    // broken.
    static int IsStrongPassword(const std::string& password, std::string& reason);

    // 0 for a name of 1 to 64 bytes without any of / \ : * ? " < > | &;
    // otherwise -1 (empty), -2 (too long) or -3 (forbidden character) with
    // the reason.
    static int IsInputValid(const std::string& input, std::string& reason);

    // Runs the program at path (path is its first argument, the environment
    // is ours) and waits for it to end. Failures are logged. Always 0.
    static int StartupProgramBlocked(const std::string& path);

    // Starts the program at path and returns at once. The program is not our
    // child, so nothing is left to reap and the process's child-signal
    // handling is left alone. Failures are logged. Always 0.
    static int StartupProgramAsynchronism(const std::string& path);

    // Single-instance lock: creates/opens lockFile (never through a
    // symbolic link) and locks it without waiting. True when this process
    // holds the lock; it is kept until the process ends.
    static bool GetLock(std::string lockFile);

    // Shows a desktop notification through notify-send and waits for it
    // (notify-send -t NOTIFY_TIMER -- summary [body]: the texts are never
    // read as options). 0 when notify-send ran; -1 with the reason
    // otherwise.
    static int PopupBalloon(const std::string& summary, const std::string& body,
                            std::string& reason);

    // Opens HELP_DIR + manual in evince at the page labelled 1 and waits
    // until the viewer is closed. 0 when evince ran; -1 with the reason
    // otherwise.
    static int OpenHelp(const std::string& manual, std::string& reason);
};

} // namespace LibTAVData

#endif
