#pragma once

#include <QString>

#include <array>

// Which module of the supply sits at which index, its code and its limits.
constexpr int kModuleCount = 8;

struct ModuleTable
{
    std::array<QString, kModuleCount> ModuleCode;
    std::array<float, kModuleCount> ValueMin{}, ValueMax{}, ValueStep{};
    std::array<float, kModuleCount> GainMin{}, GainMax{}, GainStep{};
    std::array<float, kModuleCount> OffsetMin{}, OffsetMax{}, OffsetStep{};

    // Fills codes and limits once at start; module 1's code follows the model (0 "CA", 1 "FI",
    // any other model leaves it as it was).
    void fill(qint16 powerSupply);
    // Module 1's code for a model, or nothing for a model the program does not know.
    static QString cathodeCodeFor(qint16 powerSupply, const QString &previous);
    // Index of a module code ("CA" and "FI" are both 1); -1 when unknown.
    static int indexOfCode(const QString &code);
};
