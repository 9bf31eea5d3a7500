#pragma once

#include "Surveillance.h"

#include <QList>

class Form1;
class QAction;
class QMenu;
class QMenuBar;

// The menu tree of the main window, its entries named as the program names
// them; each entry calls its handler on the window.
struct MainMenus {
    void build(QMenuBar& bar, const Surveillance::Menus& driven, Form1& form);
    // The device entry of the next list index.
    void addDevice(const QString& caption, Form1& form);
    // The entry for the network cameras and videos, after the devices.
    void addSourcesEntry(Form1& form);
    // The capture entries and Start/Stop as the selected device allows.
    void enableCapture(bool sourceOn, bool formatOn, bool compressAndStartOn) const;
    // Checks list index `index` (1 is the first entry) and no other.
    static void checkOnly(const QList<QAction*>& list, int index);

    QMenu* mnuStartStop = nullptr;
    QAction* mnuStart = nullptr;
    QAction* mnuTimer = nullptr;
    QAction* mnuSuspend = nullptr;
    QMenu* mnuSettings = nullptr;
    QMenu* mnuDeviceMain = nullptr;
    QList<QAction*> mnuDevice; // list index i at position i - 1
    QAction* mnuSources = nullptr;
    QAction* mnuSource = nullptr;
    QAction* mnuFormat = nullptr;
    QAction* mnuCompress = nullptr;
    QAction* mnuAudio = nullptr;
    QAction* mnuAudioFormat = nullptr;
    QMenu* mnuSensitivityMain = nullptr;
    QList<QAction*> mnuSensitivity;
    QMenu* mnuRecordingMain = nullptr;
    QList<QAction*> mnuTimeType;
    QList<QAction*> mnuRec;
    QMenu* mnuRefreshBase = nullptr;
    QList<QAction*> mnuRefresh;
    QAction* mnuSuspendRefresh = nullptr;
    QAction* mnuStat = nullptr;
    QAction* mnuConfig = nullptr;
    QAction* mnuStorage = nullptr;
    QAction* mnuDetectionAreas = nullptr;
    QAction* mnuWeb = nullptr;
    QMenu* mnuLog = nullptr;
    QAction* mnuLogShow = nullptr;
    QAction* mnuLogClear = nullptr;
    QMenu* mnuHelpMain = nullptr;
    QAction* mnuDoc = nullptr;
    QAction* mnuOnline = nullptr;
    QAction* mnuAbout = nullptr;
};
