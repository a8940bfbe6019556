// velmora-cli picture helpers.
#include "CliPictures.h"

#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "model/MainWindowManager.h"
#include "model/TLSMModel.h"
#include "offscreen/BeatMovie.h"
#include "offscreen/OffscreenRenderer.h"

bool parsePictureSize(const std::string& text, int minSide, int& width, int& height, std::string& error) {
    constexpr int kMaxSide = 8192;
    const size_t x = text.find_first_of("xX");
    auto parseSide = [](const std::string& part, int& value) {
        if (part.empty() || part.find_first_not_of("0123456789") != std::string::npos || part.size() > 6) return false;
        value = std::atoi(part.c_str());
        return true;
    };
    int w = 0, h = 0;
    if (x == std::string::npos || !parseSide(text.substr(0, x), w) || !parseSide(text.substr(x + 1), h)) {
        error = "--size '" + text + "' is not WIDTHxHEIGHT (for example 1280x960)";
        return false;
    }
    if (w < minSide || h < minSide || w > kMaxSide || h > kMaxSide) {
        error = "--size " + text + ": width and height must be from " + std::to_string(minSide) + " to " +
                std::to_string(kMaxSide) + " pixels";
        return false;
    }
    width = w;
    height = h;
    return true;
}

bool pointPictureCamera(OffscreenRenderer& renderer, const std::string& camera, const MainWindowManager& manager,
                        std::string& error) {
    if (pointCameraByName(renderer, camera, manager, error)) return true;
    error = (camera == "fit" ? "--camera fit: " : "--camera ") + error;
    return false;
}

bool loadForPictures(MainWindowManager& controller, const std::string& base) {
    controller.loadModel(base);
    if (!controller.model()) {
        std::fprintf(stderr, "velmora-cli: cannot load model '%s'\n", base.c_str());
        return false;
    }
    controller.m_time = 0.0;
    controller.startTimer();
    return true;
}

std::string withoutTickCounters(const std::string& text) {
    std::string kept;
    for (size_t i = 0; i < text.size();) {
        if (text.compare(i, 3, "M= ") == 0) {
            size_t j = i + 3;
            while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
            if (j > i + 3) {
                i = j;
                continue;
            }
        }
        kept += text[i++];
    }
    return kept;
}

TerminalProgress::TerminalProgress(int total, bool quiet) : m_total(total), m_enabled(!quiet && isatty(2)) {}

void TerminalProgress::update(int done) {
    if (!m_enabled || m_total <= 0) return;
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(static_cast<long long>(done) * kWidth / m_total);
    if (done == m_lastShown) return;
    m_lastShown = done;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kWidth - filled), '.');
    std::fprintf(stderr, "\r[%s] %d/%d frames", bar.c_str(), done, m_total);
    std::fflush(stderr);
}

void TerminalProgress::finish() {
    if (m_enabled && m_lastShown >= 0) std::fputc('\n', stderr);
    m_lastShown = -1;
}
