#pragma once

#include <QRandomGenerator>
#include <QString>

#include <array>
#include <optional>

// The supply's inner working as the virtual supply plays it: the set values of the eight
// modules, and the data line a read command gets. No I/O; one command line in, at most one
// data line out.
class InstrumentModel
{
public:
    static constexpr int kModules = 8;
    static constexpr int kModelR4150 = 0;    // module 1 is "CA"
    static constexpr int kModelTavrel = 1;   // module 1 is "FI"
    // Full-scale cathode current; the beam and anode currents scale with its fraction.
    static constexpr float kCathodeFullScaleA = 2.3f;
    static constexpr float kBeamCurrentFullScaleA = -1e-5f;
    static constexpr float kAnodeCurrentFullScaleA = 0.004f;
    // Filament resistance that turns the cathode current into its monitored voltage.
    static constexpr float kFilamentOhms = 1.5f;
    static constexpr float kScreenGain = -100.0f;

    // What a command did; `dataLine` is set for a read command only.
    struct Outcome
    {
        bool understood = false;
        std::optional<QString> dataLine;
    };

    explicit InstrumentModel(int powerSupply = kModelR4150);

    // Carries out one command line (without its line end) and says what to answer.
    Outcome execute(const QString &command);

    // The data line a read of `module` gets now (code + " off", or six fields).
    QString dataLine(int module);

    int powerSupply() const { return m_powerSupply; }
    void setPowerSupply(int powerSupply) { m_powerSupply = powerSupply; }
    // The module's code under the current model, and back; -1 when `code` is none of them.
    QString code(int module) const;
    int moduleOf(const QString &code) const;

    float energy() const { return m_value[0]; }
    void setEnergy(float electronVolts) { m_value[0] = electronVolts; }
    float setValue(int module) const { return m_value.at(module); }
    void setSetValue(int module, float value) { m_value.at(module) = value; }
    float gain(int module) const { return m_gain.at(module); }
    void setGain(int module, float percent) { m_gain.at(module) = percent; }
    float offset(int module) const { return m_offset.at(module); }
    void setOffset(int module, float volts) { m_offset.at(module) = volts; }
    bool isOn(int module) const { return m_on.at(module); }
    void setOn(int module, bool on) { m_on.at(module) = on; }
    // A supply in use, as an operator leaves it: 150 eV, the filament on at 2.1 A, the screen
    // on at 5.5 kV, every module on with the gains and offsets of a typical LEED optics.
    void applyRunningState();

    // Output voltage of a module from the model (the value field of its data line).
    float output(int module) const;
    float beamCurrent() const;
    float anodeCurrent() const;

    // Relative noise on the monitored voltages, 0 (the default) for exact, repeatable replies.
    void setMonitorNoise(float fraction, quint32 seed);
    // A fixed data line for reads of `module` (tests of odd replies); empty text removes it.
    void setDataLineOverride(int module, const QString &line);

    // Numbers as the supply writes them: StrOf's digits, always with a "." separator.
    static QString wireNumber(float number);

private:
    bool moduleTakes(QChar letter, int module) const;
    float cathodeFraction() const;
    float withNoise(float value);

    int m_powerSupply;
    std::array<float, kModules> m_value{};
    std::array<float, kModules> m_gain{};
    std::array<float, kModules> m_offset{};
    std::array<bool, kModules> m_on{};
    std::array<QString, kModules> m_override;
    float m_noise = 0.0f;
    QRandomGenerator m_random;
};
