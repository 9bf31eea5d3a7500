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

#include <cstdint>
#include <map>
#include <vector>

// What the main window gives the surveillance: the capture control on the
// test scene camera, the shared state, the panels and the four menu
// entries. With frames from the test the clock is the test's too; with the
// camera's frames it is the real one. Recording rows are "start|stop|file".
struct SurveillanceRig {
    enum class Frames { FromTest, FromCamera };

    explicit SurveillanceRig(const QString& commandLine = QString(),
                             Frames frames = Frames::FromTest,
                             const CaptureControl::Options& camera = sceneCamera());

    // Opens the test scene camera so captures really run.
    bool openCamera() { return capture.setDevice(0); }
    void advance(int seconds) { clock = clock.addSecs(seconds); }
    void examine(const std::vector<std::uint8_t>& frame);
    QString text(Panel panel) const { return panels.text(panel); }

    QDateTime clock;
    const Frames frames;
    PublicStuff stuff;
    CaptureControl capture;
    StatusPanels panels;
    QAction mnuStart, mnuTimer, mnuSuspend, mnuStat;
    Surveillance surveillance;
    QStringList rows;
};

// Frames with an exact compressed size: incompressible bytes followed by
// zeros, the length of the noisy part found by search.
class SizedFrames {
public:
    static constexpr std::size_t Bytes = 131072;
    SizedFrames();
    // Empty when no frame of that compressed size was found.
    const std::vector<std::uint8_t>& frame(std::int32_t compressedSize);

private:
    std::int32_t sizeOf(std::size_t noisy, std::size_t offset);
    std::vector<std::uint8_t> build(std::size_t noisy, std::size_t offset) const;

    std::vector<std::uint8_t> m_noise;
    std::map<std::int32_t, std::vector<std::uint8_t>> m_found;
};
