// ScriptedUserDialogs: answers the modal questions from a script and records what was asked.
#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "app/UserDialogs.h"

/// Messages are recorded and closed at once; yes/no questions and file choosers take the next
/// scripted answer (No, and cancel, when the script is exhausted).
class ScriptedUserDialogs : public UserDialogs {
   public:
    void showMessage(const std::string& text) override { messages.push_back(text); }
    /// Recorded as the message (in messages) and its reason (in reasons, beside the message).
    void showMessageWithReason(const std::string& text, const std::string& reason) override {
        messages.push_back(text);
        reasons.emplace_back(text, reason);
    }
    bool askYesNo(const std::string& text) override {
        questions.push_back(text);
        if (yesNoAnswers.empty()) return false;
        const bool answer = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return answer;
    }
    std::string chooseOpenFile(const std::string& filter) override { return nextFile(filter); }
    std::string chooseSaveFile(const std::string& filter) override { return nextFile(filter); }
    /// The next scripted choice; Cancel when the script is exhausted, so no work is lost.
    SaveChoice askSaveDiscardCancel(const std::string& text) override {
        saveQuestions.push_back(text);
        if (saveChoices.empty()) return SaveChoice::Cancel;
        const SaveChoice answer = saveChoices.front();
        saveChoices.pop_front();
        return answer;
    }

    /// The next scripted lattice choice; Cancel when the script is exhausted.
    LatticeChoice chooseSimulationLattice(int currentTarget, int modelVertices) override {
        latticeQuestions.emplace_back(currentTarget, modelVertices);
        if (latticeChoices.empty()) return LatticeChoice();
        const LatticeChoice answer = latticeChoices.front();
        latticeChoices.pop_front();
        return answer;
    }

    /// How many recorded messages equal text.
    int countMessages(const std::string& text) const {
        int n = 0;
        for (const std::string& m : messages) n += m == text ? 1 : 0;
        return n;
    }

    std::vector<std::string> messages;
    std::vector<std::pair<std::string, std::string>> reasons;
    std::vector<std::string> questions;
    std::vector<std::string> fileFilters;
    std::deque<bool> yesNoAnswers;
    std::vector<std::string> saveQuestions;
    std::deque<SaveChoice> saveChoices;
    std::deque<std::string> fileAnswers;
    /// (lattice in force, model vertices) of each lattice question.
    std::vector<std::pair<int, int>> latticeQuestions;
    std::deque<LatticeChoice> latticeChoices;

   private:
    std::string nextFile(const std::string& filter) {
        fileFilters.push_back(filter);
        if (fileAnswers.empty()) return "";
        std::string answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }
};
