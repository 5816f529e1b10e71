// Numbers of the program's windows, controls, menus and images. Control numbers are
// unique across all windows so one event loop can dispatch them all.
#pragma once

namespace core {

enum Window : int {
    MainWindow = 0,
    AboutWindow = 1,
    DownloadToolWindow = 2,
    ConfigurationWindow = 3,
    CalculatorWindow = 4,
};

enum Control : int {
    // Main window.
    DestinationFrame = 1,
    DriveTree,
    ProgressFrame,
    ProgressBar,
    ButtonFrame,
    BackupButton,
    RestoreButton,
    FormatButton,
    RecoveryButton,
    ExitButton,
    MakerLink,
    EjectButton,
    RefreshButton,

    // About window.
    AboutFrame = 100,
    AboutIcon,
    CloverSourceLink,
    RussianForumLink,
    CloverWikiLink,
    AboutHeaderText,
    DonationLink,
    AboutPurposeText,
    AboutHowToText,
    AboutOkButton,

    // Download Tool window.
    DownloadToolFirst = 200,
    DownloadToolOk = DownloadToolFirst,
    DownloadToolCancel,
    DownloadToolUpdateList,
    DownloadToolCaption,
    DownloadToolList,

    // Configuration window, in creation order.
    ConfigurationFirst = 300,
    SourceFrame = ConfigurationFirst,
    LocalOption,
    DownloadOption,
    NotInstallOption,
    LocalArchiveChoice,
    LocalRevisionText,
    DownloadRevisionChoice,
    CheckedText,
    CheckFrame,
    CheckAtStartupBox,
    SaveAfterDownloadBox,
    CloverRepositoryButton,
    CheckNowButton,
    FormatOptionsFrame,
    BootRecordsFrame,
    CloverOption,
    WindowsOption,
    XpcOption,
    NotFormatOption,
    VolumeLabelCaption,
    VolumeLabelField,
    FileSystemList,
    ClusterList,
    AlignmentList,
    MultiPartitionFrame,
    TwoPartitionsBox,
    BootPartitionSizeField,
    OtherFrame,
    EnableFixedDisksBox,
    ImageRepositoryButton,
    ConfigurationOk,
    ConfigurationLast = 399,

    // Calculator window.
    CalculatorFull = 400,
    CalculatorClear,
    CalculatorDefault,
    CalculatorOk,
    CalculatorBitFirst,  // 32 bit check boxes follow
    CalculatorBitLast = CalculatorBitFirst + 31,
    CalculatorBitsFrame,
    CalculatorNewWayFrame,
    CalculatorMaskFrame,
    CalculatorBinaryText,
    CalculatorHexText,
    CalculatorInfoFrame,
    CalculatorInfoText,
};

enum MenuId : int {
    OptionsMenu = 500,
    ToolsMenu,
    HelpMenu,
    LatestCloverMenu,

    ConfigurationItem = 510,
    QuitItem,
    CalculatorItem,
    InstallHfsItem,
    UninstallHfsItem,
    ExtractDmgItem,
    HelpItem,
    CloverWikiItem,
    AboutItem,
};

enum Picture : int {
    ConfigurationIcon = 0,
    CalculatorIcon = 1,
    DriverIcon = 2,
    DmgIcon = 3,
    HelpIcon = 4,
    AboutIcon16 = 5,
    ProgramIcon72 = 6,
};

}  // namespace core
