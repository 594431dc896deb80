#pragma once

#include "core/Matrix.h"

#include <QString>

#include <array>
#include <chrono>
#include <cstdint>

namespace tarvino {

/// Source options: index of the selected option in `optLokacija` / `optLokacijaProbna`.
enum SourceOption : int {
    SecondaryServer = 0,
    NetworkFolder = 1,
    PrimaryServer = 2,
};

/// Indexes of the folder boxes `txtLokacija`.
enum FolderBox : int {
    RegularFolderBox = 0,
    DistributionFolderBox = 1,
    TrialFolderBox = 2,
};

/// What the operator chose in the window and what the settings store remembers.
/// The window keeps its controls and these values in step; operations read them
/// at the moment they need them.
struct SourceSettings {
    int regularOption = PrimaryServer;
    int trialOption = PrimaryServer;
    std::array<QString, 3> folders;
    int hourStep = 0;
    bool useChilkat = true;
    std::uint32_t colour = 14277323;
    QString primaryServer;
    QString secondaryServer;
    QString extraAuthorities;
};

/// The window-level state every operation shares. Owned by the window.
struct AppState {
    // Folders, each ending in the platform's separator.
    QString programFolder;
    QString installFolder;
    QString updateFolder;
    QString backupFolder;
    QString scriptsFolder;
    QString helpFolder;

    bool startingUp = false;
    bool trialRun = false;
    bool manifestFailed = false;
    // A command started while another runs (events are handled inside long
    // operations) would work on the same folders and matrices: it is held off.
    bool operationRunning = false;
    // The last operation was refused: another run (another window, a scheduled
    // run) holds the installation.
    bool heldElsewhere = false;
    // A timed distribution fell due while another operation ran; it runs after it.
    bool distributionPending = false;

    QString currentMessage;
    QString actionMessages;
    QString errorMessages;

    double transferStart = 0;
    // What the progress bar and the transfer-time label show; the window only displays them.
    double progressValue = 0;
    QString transferTimeText;

    // A fetch that receives nothing for this long has failed; tests shorten it.
    std::chrono::milliseconds fetchStallTimeout {60000};

    Matrix installed;
    Matrix plan;
    std::int16_t rowCounter = 0;
    std::int16_t columnCounter = 0;

    std::int64_t totalPackedSize = 0;
    std::int64_t totalTransferred = 0;

    SourceSettings sources;
};

} // namespace tarvino
