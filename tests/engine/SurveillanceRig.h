#pragma once

#include "CaptureControl.h"
#include "CommandLine.h"
#include "PublicStuff.h"
#include "SceneCamera.h"
#include "StatusPanels.h"
#include "Surveillance.h"
#include "VideoHeader.h"

#include <QAction>
#include <QDateTime>
#include <QStringList>

#include <cstdint>
#include <map>
#include <vector>

// What the main window gives the surveillance: the capture control, the
// shared state with a clock the test sets, the panels and the four menu
// entries. Recording rows are collected as "start|stop|file".
struct SurveillanceRig {
    enum class Frames { FromTest, FromCamera };

    explicit SurveillanceRig(const QString& commandLine = QString(),
                             Frames frames = Frames::FromTest,
                             const CaptureControl::Options& camera = sceneCamera());

    // Opens the test scene camera so captures really run.
    bool openCamera();
    void advance(int seconds) { clock = clock.addSecs(seconds); }
    // The first frame after arming becomes the base.
    void examine(const std::vector<std::uint8_t>& frame);

    // The test's clock, or the real one when the camera's frames drive the
    // surveillance.
    QDateTime clock;
    const Frames frames;
    PublicStuff stuff;
    CaptureControl capture;
    StatusPanels panels;
    QAction mnuStart;
    QAction mnuTimer;
    QAction mnuSuspend;
    QAction mnuStat;
    Surveillance surveillance;
    QStringList rows;
    QList<bool> statisticsRequests;
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
    std::vector<std::uint8_t> m_scratch;
    std::map<std::int32_t, std::vector<std::uint8_t>> m_found;
};
