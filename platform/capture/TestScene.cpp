#include "TestScene.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

std::uint64_t splitmix64(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

std::uint32_t hash3(std::uint32_t x, std::uint32_t y, std::uint32_t c) {
    std::uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ c * 0xcb1ab31fu;
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    h *= 0x297a2d39u;
    h ^= h >> 15;
    return h;
}

std::uint8_t clampByte(int v) {
    return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

bool parseSeconds(std::string_view text, double& value) {
    if (text.empty())
        return false;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

} // namespace

bool TestScene::parseSecondsPair(std::string_view text, double& first, double& second) {
    const auto colon = text.find(':');
    return colon != std::string_view::npos && parseSeconds(text.substr(0, colon), first) &&
           parseSeconds(text.substr(colon + 1), second);
}

TestScene::Schedule TestScene::parseSchedule(std::string_view text) {
    Schedule s;
    if (!parseSecondsPair(text, s.calmSeconds, s.activeSeconds))
        return {};
    constexpr double longest = 24.0 * 3600.0;
    if (s.calmSeconds < 0.0 || s.activeSeconds <= 0.0 || s.calmSeconds > longest ||
        s.activeSeconds > longest)
        return {};
    return s;
}

TestScene::Unplug TestScene::parseUnplug(std::string_view text) {
    Unplug unplug;
    double afterSeconds = 0.0;
    double forSeconds = 0.0;
    if (parseSecondsPair(text, afterSeconds, forSeconds) && afterSeconds >= 0.0 &&
        forSeconds >= 0.0 && afterSeconds < 1e6 && forSeconds < 1e6) {
        unplug.afterMs = std::llround(afterSeconds * 1000.0);
        unplug.backAfterMs = std::llround(forSeconds * 1000.0);
    }
    return unplug;
}

TestScene::TestScene(int width, int height, double framesPerSecond, Schedule schedule)
    : width_(std::max(width, 16))
    , height_(std::max(height, 16))
    , fps_(framesPerSecond > 0.0 ? framesPerSecond : 5.0)
    , schedule_(schedule)
    , stride_((static_cast<std::size_t>(width_) * 3 + 3) & ~std::size_t{3})
    , markerRows_(std::max(2, height_ / 20))
    , figureWidth_(std::max(4, static_cast<int>(std::lround(width_ * 0.36))))
    , figureHeight_(std::max(8, static_cast<int>(std::lround(height_ * 0.85))))
    , figureTop_(static_cast<int>(std::lround(height_ * 0.12))) {
    paintBackground();
    paintFigure();
}

void TestScene::paintBackground() {
    background_.assign(frameBytes(), 0);
    const double s = width_ / 640.0;
    const int floorY = static_cast<int>(height_ * 0.72);
    const int brickH = std::max(4, static_cast<int>(20 * s));
    const int brickW = std::max(8, static_cast<int>(48 * s));
    const int mortar = std::max(1, static_cast<int>(2 * s));
    const int tile = std::max(8, static_cast<int>(40 * s));
    const int winL = static_cast<int>(width_ * 0.62), winR = static_cast<int>(width_ * 0.88);
    const int winT = static_cast<int>(height_ * 0.15), winB = static_cast<int>(height_ * 0.50);
    const int frame = std::max(2, static_cast<int>(4 * s));
    const int posL = static_cast<int>(width_ * 0.08), posR = static_cast<int>(width_ * 0.30);
    const int posT = static_cast<int>(height_ * 0.20), posB = static_cast<int>(height_ * 0.45);

    for (int y = 0; y < height_; ++y) {
        std::uint8_t* row = background_.data() + stride_ * y;
        for (int x = 0; x < width_; ++x) {
            int b = 0, g = 0, r = 255; // marker band at the top
            if (y >= markerRows_ && y < floorY) {
                const double t = double(y - markerRows_) / (floorY - markerRows_);
                b = 150 + int(40 * t);
                g = 170 + int(30 * t);
                r = 190 + int(20 * t);
                const int course = (y - markerRows_) / brickH;
                const int offset = (course % 2) * (brickW / 2);
                if ((y - markerRows_) % brickH < mortar || (x + offset) % brickW < mortar) {
                    b -= 45;
                    g -= 45;
                    r -= 40;
                }
                if (x >= winL && x < winR && y >= winT && y < winB) {
                    const bool border = x < winL + frame || x >= winR - frame || y < winT + frame ||
                                        y >= winB - frame ||
                                        std::abs(x - (winL + winR) / 2) < frame / 2 + 1;
                    const double u = double(x - winL) / (winR - winL);
                    b = border ? 40 : 200 + int(50 * u);
                    g = border ? 60 : 150 + int(40 * u);
                    r = border ? 90 : 90 + int(30 * u);
                } else if (x >= posL && x < posR && y >= posT && y < posB) {
                    const int stripe = (y - posT) * 6 / std::max(1, posB - posT);
                    static constexpr int colours[6][3] = {{40, 160, 230}, {200, 80, 40},
                                                          {60, 200, 90},  {180, 180, 50},
                                                          {90, 60, 200},  {220, 220, 220}};
                    b = colours[stripe][0];
                    g = colours[stripe][1];
                    r = colours[stripe][2];
                }
            } else if (y >= floorY) {
                const double t = double(y - floorY) / std::max(1, height_ - floorY);
                const bool dark = ((x / tile) + ((y - floorY) / tile)) % 2 != 0;
                // A grainy carpet: static texture that gives the calm frame
                // enough substance for single noise specks not to matter.
                const int grain = static_cast<int>(hash3(x, y, 7) % 24) - 12;
                b = (dark ? 80 : 110) - int(20 * t) + grain;
                g = (dark ? 90 : 120) - int(20 * t) + grain;
                r = (dark ? 100 : 130) - int(20 * t) + grain;
            }
            row[3 * x] = clampByte(b);
            row[3 * x + 1] = clampByte(g);
            row[3 * x + 2] = clampByte(r);
        }
    }
}

void TestScene::paintFigure() {
    const int fw = figureWidth_, fh = figureHeight_;
    figure_.assign(static_cast<std::size_t>(fw) * fh * 3, 0);
    mask_.assign(static_cast<std::size_t>(fw) * fh, 0);
    const double headR = 0.09 * fh;
    const double headX = 0.5 * fw, headY = headR + 1;
    figurePixels_ = 0;
    for (int y = 0; y < fh; ++y) {
        const double v = double(y) / fh;
        for (int x = 0; x < fw; ++x) {
            const double u = double(x) / fw;
            enum { None, Head, Shirt, Legs } part = None;
            const double dx = x - headX, dy = y - headY;
            if (dx * dx + dy * dy <= headR * headR)
                part = Head;
            else if (v >= 0.2 && v < 0.6 && u >= 0.15 && u < 0.85)
                part = Shirt;
            else if (v >= 0.22 && v < 0.55 && (u < 0.15 || u >= 0.85))
                part = Shirt; // arms
            else if (v >= 0.6 && ((u >= 0.2 && u < 0.47) || (u >= 0.53 && u < 0.8)))
                part = Legs;
            if (part == None)
                continue;
            static constexpr int base[4][3] = {
                {0, 0, 0}, {120, 160, 210}, {60, 80, 170}, {110, 60, 40}};
            const int spread = part == Head ? 48 : 96;
            const std::size_t i = static_cast<std::size_t>(y) * fw + x;
            mask_[i] = 1;
            ++figurePixels_;
            for (int c = 0; c < 3; ++c) {
                const auto noise = static_cast<int>(hash3(x, y, c) % spread) - spread / 2;
                figure_[3 * i + c] = clampByte(base[part][c] + noise);
            }
        }
    }
}

double TestScene::figureCoverage() const {
    return double(figurePixels_) / (double(width_) * height_);
}

double TestScene::visitProgress(std::int64_t index) const {
    const double cycle = schedule_.calmSeconds + schedule_.activeSeconds;
    const double t = double(index) / fps_;
    const double phase = std::fmod(t, cycle);
    if (phase < schedule_.calmSeconds)
        return -1.0;
    return std::min((phase - schedule_.calmSeconds) / schedule_.activeSeconds, 1.0);
}

int TestScene::figureLeft(double progress) const {
    return static_cast<int>(std::lround(-figureWidth_ + progress * (width_ + figureWidth_)));
}

bool TestScene::intruderVisible(std::int64_t index) const {
    const double p = visitProgress(index);
    if (p < 0.0)
        return false;
    const int left = figureLeft(p);
    return left < width_ && left + figureWidth_ > 0;
}

void TestScene::render(std::int64_t index, std::uint8_t* out) const {
    std::memcpy(out, background_.data(), background_.size());

    const double p = visitProgress(index);
    if (p >= 0.0) {
        const int left = figureLeft(p);
        const int x0 = std::max(0, -left), x1 = std::min(figureWidth_, width_ - left);
        const int rows = std::min(figureHeight_, height_ - figureTop_);
        for (int y = 0; y < rows && x0 < x1; ++y) {
            const std::uint8_t* src =
                figure_.data() + static_cast<std::size_t>(y) * figureWidth_ * 3;
            const std::uint8_t* m = mask_.data() + static_cast<std::size_t>(y) * figureWidth_;
            std::uint8_t* dst =
                out + stride_ * (figureTop_ + y) + 3 * static_cast<std::size_t>(left);
            for (int x = x0; x < x1; ++x) {
                if (m[x] != 0)
                    std::memcpy(dst + 3 * x, src + 3 * x, 3);
            }
        }
    }

    // Sensor noise: the same number of faint specks on every row, at
    // places drawn from the frame index. A fixed count per row keeps the
    // share of specks on smooth and on grainy areas the same in every frame.
    std::uint64_t state = static_cast<std::uint64_t>(index) * 0x2545f4914f6cdd1dULL + 1;
    const int specksPerRow = std::max(1, static_cast<int>(std::lround(width_ / 200.0)));
    static constexpr int deltas[4] = {-2, -1, 1, 2};
    for (int y = 0; y < height_; ++y) {
        std::uint8_t* row = out + stride_ * y;
        for (int i = 0; i < specksPerRow; ++i) {
            const std::uint64_t r = splitmix64(state);
            std::uint8_t* px = row + 3 * ((r & 0xffffffffu) % static_cast<std::uint64_t>(width_));
            const int delta = deltas[(r >> 32) & 3];
            for (int c = 0; c < 3; ++c)
                px[c] = clampByte(px[c] + delta);
        }
    }
}
