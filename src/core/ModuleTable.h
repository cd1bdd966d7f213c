#pragma once

#include <QString>

#include <array>

// Which module of the supply sits at which index, its code and its limits.
constexpr int kModuleCount = 8;

// The fixed module indices.
namespace Module {
constexpr int kEnergy = 0;
constexpr int kCathode = 1; // cathode or filament, by model
constexpr int kScreen = 2;
constexpr int kWehnelt = 3;
constexpr int kAnode = 4;
constexpr int kLens1 = 5;
constexpr int kSuppressor = 6;
constexpr int kLens2 = 7;
constexpr int kFirstFollower = kWehnelt; // the first module whose output follows the energy
} // namespace Module

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
    // The caption of a module's row on the panel, with its access key ("&Energy (eV)").
    static QString caption(int module);
};
