// RecordingState: an interaction mode that records which operation was called with what.
#pragma once

#include <string>
#include <vector>

#include "interaction/TState.h"

/// Every call appends "<operation> x y" (or "mouseWheel delta", "drawScene").
class RecordingState : public TState {
   public:
    void mouseLDown(int x, int y) override { add("mouseLDown", x, y); }
    void mouseRDown(int x, int y) override { add("mouseRDown", x, y); }
    void mouseMDown(int x, int y) override { add("mouseMDown", x, y); }
    void mouseLUp(int x, int y) override { add("mouseLUp", x, y); }
    void mouseRUp(int x, int y) override { add("mouseRUp", x, y); }
    void mouseMUp(int x, int y) override { add("mouseMUp", x, y); }
    void mouseLDouble(int x, int y) override { add("mouseLDouble", x, y); }
    void mouseRDouble(int x, int y) override { add("mouseRDouble", x, y); }
    void mouseMDouble(int x, int y) override { add("mouseMDouble", x, y); }
    void mouseMove(int x, int y) override { add("mouseMove", x, y); }
    void mouseWheel(int delta) override { calls.push_back("mouseWheel " + std::to_string(delta)); }
    void drawScene() override { calls.push_back("drawScene"); }

    /// The recorded calls of one operation, in order.
    std::vector<std::string> callsOf(const std::string& operation) const {
        std::vector<std::string> out;
        for (const std::string& c : calls)
            if (c.compare(0, operation.size() + 1, operation + " ") == 0 || c == operation) out.push_back(c);
        return out;
    }

    std::vector<std::string> calls;

   private:
    void add(const char* name, int x, int y) {
        calls.push_back(std::string(name) + " " + std::to_string(x) + " " + std::to_string(y));
    }
};
