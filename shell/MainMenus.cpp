#include "MainMenus.h"

#include "Form1.h"
#include "SensitivityPresets.h"

#include <QMenuBar>

#include <array>

namespace {

// The entries of the time menus; the program holds their values. The
// Sensitivity entries are SensitivityPresets.
constexpr std::array<const char*, 6> RecordTimes{"10 seconds", "20 seconds", "30 seconds",
                                                 "1 minute",   "2 minutes",  "5 minutes"};
constexpr std::array<const char*, 7> RefreshTimes{
    "30 seconds", "1 minute", "5 minutes", "10 minutes", "30 minutes", "1 hour", "Never"};

template <typename T> T* named(T* object, const char* name) {
    object->setObjectName(QLatin1String(name));
    return object;
}

QAction* command(QMenu* menu, const char* caption, const char* name, Form1& form,
                 void (Form1::*handler)()) {
    QAction* entry = named(menu->addAction(QLatin1String(caption)), name);
    QObject::connect(entry, &QAction::triggered, &form, [&form, handler] { (form.*handler)(); });
    return entry;
}

// A checkable entry that hands its list index to `handler`.
QAction* listEntry(QMenu* menu, QList<QAction*>& list, const QString& caption, Form1& form,
                   void (Form1::*handler)(int)) {
    QAction* entry = menu->addAction(caption);
    entry->setCheckable(true);
    list.append(entry);
    const int index = int(list.size());
    QObject::connect(entry, &QAction::triggered, &form,
                     [&form, handler, index] { (form.*handler)(index); });
    return entry;
}

template <std::size_t N>
void listEntries(QMenu* menu, QList<QAction*>& list, const std::array<const char*, N>& captions,
                 Form1& form, void (Form1::*handler)(int)) {
    for (const char* caption : captions)
        listEntry(menu, list, QString::fromLatin1(caption), form, handler);
}

void addDriven(QWidget* menu, QAction* entry, Form1& form, void (Form1::*handler)()) {
    menu->addAction(entry);
    QObject::connect(entry, &QAction::triggered, &form, [&form, handler] { (form.*handler)(); });
}

} // namespace

void MainMenus::build(QMenuBar& bar, const Surveillance::Menus& driven, Form1& form) {
    mnuStartStop = named(bar.addMenu(QStringLiteral("&Start/Stop")), "mnuStartStop");
    // The surveillance drives these four entries; the program makes them.
    mnuStart = driven.mnuStart;
    mnuTimer = driven.mnuTimer;
    mnuSuspend = driven.mnuSuspend;
    mnuStat = driven.mnuStat;
    addDriven(mnuStartStop, mnuStart, form, &Form1::mnuStart_Click);
    addDriven(mnuStartStop, mnuTimer, form, &Form1::mnuTimer_Click);
    addDriven(&bar, mnuSuspend, form, &Form1::mnuSuspend_Click);

    mnuSettings = named(bar.addMenu(QStringLiteral("Se&ttings")), "mnuSettings");
    mnuDeviceMain = named(mnuSettings->addMenu(QStringLiteral("Video &Device")), "mnuDeviceMain");
    addDevice(QStringLiteral("(none)"), form);
    mnuDevice.front()->setEnabled(false);
    mnuSource = command(mnuSettings, "Video &Source", "mnuSource", form, &Form1::mnuSource_Click);
    mnuFormat = command(mnuSettings, "Video &Format", "mnuFormat", form, &Form1::mnuFormat_Click);
    mnuCompress =
        command(mnuSettings, "Video &Compression", "mnuCompress", form, &Form1::mnuCompress_Click);
    named(mnuSettings->addSeparator(), "mnuDiv5");
    mnuAudio = command(mnuSettings, "&Capture &Audio", "mnuAudio", form, &Form1::mnuAudio_Click);
    mnuAudio->setCheckable(true);
    mnuAudioFormat =
        command(mnuSettings, "Audio F&ormat", "mnuAudioFormat", form, &Form1::mnuAudioFormat_Click);
    named(mnuSettings->addSeparator(), "mnuDiv1");

    mnuSensitivityMain =
        named(mnuSettings->addMenu(QStringLiteral("&Sensitivity")), "mnuSensitivityMain");
    listEntries(mnuSensitivityMain, mnuSensitivity, SensitivityPresets::Captions, form,
                &Form1::mnuSensitivity_Click);

    mnuRecordingMain =
        named(mnuSettings->addMenu(QStringLiteral("&Stop recording after...")), "mnuRecordingMain");
    listEntries(mnuRecordingMain, mnuTimeType,
                std::array{"...end of activity plus...", "...a &fixed time of..."}, form,
                &Form1::mnuTimeType_Click);
    named(mnuRecordingMain->addSeparator(), "mnuDiv10");
    listEntries(mnuRecordingMain, mnuRec, RecordTimes, form, &Form1::mnuRec_Click);

    mnuRefreshBase = named(mnuSettings->addMenu(QStringLiteral("&Refresh base image every...")),
                           "mnuRefreshBase");
    listEntries(mnuRefreshBase, mnuRefresh, RefreshTimes, form, &Form1::mnuRefresh_Click);
    named(mnuRefreshBase->addSeparator(), "mnuDiv9");
    mnuSuspendRefresh = command(mnuRefreshBase, "&No refresh when recording", "mnuSuspendRefresh",
                                form, &Form1::mnuSuspendRefresh_Click);
    mnuSuspendRefresh->setCheckable(true);

    named(mnuSettings->addSeparator(), "mnuDiv8");
    addDriven(mnuSettings, mnuStat, form, &Form1::mnuStat_Click);
    named(mnuSettings->addSeparator(), "mnuDiv4");
    mnuConfig = command(mnuSettings, "&Configuration", "mnuConfig", form, &Form1::mnuConfig_Click);
    named(mnuSettings->addSeparator(), "mnuDivStorage");
    mnuStorage = command(mnuSettings, "&Storage...", "mnuStorage", form, &Form1::mnuStorage_Click);
    named(mnuSettings->addSeparator(), "mnuDivDetectionAreas");
    mnuDetectionAreas = command(mnuSettings, "Detection Areas...", "mnuDetectionAreas", form,
                                &Form1::mnuDetectionAreas_Click);
    named(mnuSettings->addSeparator(), "mnuDivWeb");
    mnuWeb = command(mnuSettings, "Web Access...", "mnuWeb", form, &Form1::mnuWeb_Click);

    mnuLog = named(bar.addMenu(QStringLiteral("&Log")), "mnuLog");
    mnuLogShow = command(mnuLog, "&Show log", "mnuLogShow", form, &Form1::mnuLogShow_Click);
    mnuLogClear = command(mnuLog, "&Clear log", "mnuLogClear", form, &Form1::mnuLogClear_Click);

    mnuHelpMain = named(bar.addMenu(QStringLiteral("&?")), "mnuHelpMain");
    mnuDoc = command(mnuHelpMain, "&Documentation", "mnuDoc", form, &Form1::mnuDoc_Click);
    mnuOnline =
        command(mnuHelpMain, "&Online Information", "mnuOnline", form, &Form1::mnuOnline_Click);
    named(mnuHelpMain->addSeparator(), "mnuDiv6");
    mnuAbout = command(mnuHelpMain, "&About", "mnuAbout", form, &Form1::mnuAbout_Click);
}

void MainMenus::addDevice(const QString& caption, Form1& form) {
    listEntry(mnuDeviceMain, mnuDevice, caption, form, &Form1::mnuDevice_Click)
        ->setObjectName(QStringLiteral("mnuDevice%1").arg(mnuDevice.size()));
}

void MainMenus::addSourcesEntry(Form1& form) {
    named(mnuDeviceMain->addSeparator(), "mnuDivSources");
    mnuSources = command(mnuDeviceMain, "&Network Cameras and Videos...", "mnuSources", form,
                         &Form1::mnuSources_Click);
}

void MainMenus::enableCapture(bool sourceOn, bool formatOn, bool compressAndStartOn) const {
    mnuSource->setEnabled(sourceOn);
    mnuFormat->setEnabled(formatOn);
    mnuCompress->setEnabled(compressAndStartOn);
    mnuStartStop->menuAction()->setEnabled(compressAndStartOn);
}

void MainMenus::checkOnly(const QList<QAction*>& list, int index) {
    for (qsizetype i = 0; i < list.size(); ++i)
        list[i]->setChecked(i + 1 == index);
}
