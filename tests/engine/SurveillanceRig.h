#pragma once

#include "CaptureControl.h"
#include "CommandLine.h"
#include "PublicStuff.h"
#include "SceneCamera.h"
#include "StatusPanels.h"
#include "Surveillance.h"

#include <QAction>
#include <QDateTime>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <map>
#include <vector>

// What the main window gives the surveillance: the capture control on the
// test scene camera, the state, the panels, the four menu entries and a
// folder for the recordings. The clock is the test's with frames from the
// test, the real one with the camera's. Recording rows: "start|stop|file";
// deletion rows: "start|message".
struct SurveillanceRig {
    enum class Frames { FromTest, FromCamera };

    explicit SurveillanceRig(const QString& commandLine = QString(),
                             Frames frames = Frames::FromTest,
                             const CaptureControl::Options& camera = sceneCamera());

    // Opens the test scene camera so captures really run.
    bool openCamera() { return capture.setDevice(0); }
    void advance(int seconds) { clock = clock.addSecs(seconds); }
    // Hands a frame over as the camera does; examine() also waits until
    // it has been compared.
    void deliver(const std::vector<std::uint8_t>& frame);
    void examine(const std::vector<std::uint8_t>& frame);
    QString text(Panel panel) const { return panels.text(panel); }

    QDateTime clock;
    const Frames frames;
    // The free space the surveillance sees; the volume's when not set.
    PublicStuff::FreeSpace freeSpace;
    QTemporaryDir videos;
    PublicStuff stuff;
    CaptureControl capture;
    StatusPanels panels;
    QAction mnuStart, mnuTimer, mnuSuspend, mnuStat;
    Surveillance surveillance;
    QStringList rows;
};

// Frames of an exact compressed size: noise followed by zeros. As pictures
// they are Width x Height, rows of 512 bytes bottom-up, so the noise fills
// the picture from its bottom row up.
class SizedFrames {
public:
    static constexpr std::uint32_t Width = 170;
    static constexpr std::uint32_t Height = 256;

    // Empty when no frame of that compressed size was found.
    const std::vector<std::uint8_t>& frame(std::int32_t compressedSize);

private:
    std::map<std::int32_t, std::vector<std::uint8_t>> m_found;
};
