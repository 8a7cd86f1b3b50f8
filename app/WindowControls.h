#pragma once

class PercentBar;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;
class QWidget;

// Every control of the main window under its design name. The window creates them; the
// subsystems are handed the ones they work with.
struct WindowControls {
    QWidget *window = nullptr;

    // Role and connection
    QCheckBox *chkServer = nullptr;
    QCheckBox *chkClient = nullptr;
    QComboBox *cmbPort = nullptr;
    QPushButton *cmdPort = nullptr;
    QPushButton *cmdClient = nullptr;

    // Playback
    QPushButton *cmdServer = nullptr;
    QPushButton *cmdStartPlay = nullptr;
    QPushButton *cmdSpeed = nullptr;
    QLabel *lblPlaying = nullptr;
    QListWidget *lstFilesPlay = nullptr; // one check box per entry
    PercentBar *prgFile = nullptr;

    // Playlist
    QListWidget *lstFiles = nullptr;
    QPushButton *cmdSavePlaylist = nullptr;
    QPushButton *cmdLoadPlaylist = nullptr;

    // File browser and paths
    QListWidget *dirFiles = nullptr;
    QComboBox *drvFiles = nullptr;
    QListWidget *filFiles = nullptr;
    QPushButton *cmdAdd = nullptr;
    QPushButton *cmdRemove = nullptr;
    QLabel *lblDirectorys = nullptr;
    QLineEdit *txtDirectorys = nullptr;
    QLineEdit *txtDirectorysCopy = nullptr; // frame behind the copy button, never read
    QPushButton *cmdDirectorysCopy = nullptr;
    QLabel *lblFiles = nullptr;
    QLineEdit *txtFiles = nullptr;
    QLineEdit *txtFilesCopy = nullptr; // frame behind the copy button, never read
    QPushButton *cmdFilesCopy = nullptr;
    QPushButton *cmdFilesCopyAll = nullptr;

    // Decoration
    QFrame *Line1 = nullptr;
    QFrame *Line2 = nullptr; // vertical from y = 0 to its lower end Y2

    // Timers
    QTimer *tmrStopMusic = nullptr;
    QTimer *tmrGetFile = nullptr;
    QTimer *tmrDoEvents = nullptr;
    QTimer *tmrClient = nullptr;
};

// Creates the controls on `window` with their design geometry, captions, tooltips and
// initial states.
WindowControls createWindowControls(QWidget *window);
