#pragma once

#include <QColor>
#include <QLabel>

// The switch-state lamp of module 1 or 2 (objectName Label_OnOff(n)): a small black box with a
// green text colour, filled with its text colour while the module is on.
class OnOffLamp : public QLabel
{
    Q_OBJECT
public:
    static constexpr int kSize = 13; // pixels, square

    explicit OnOffLamp(int module, QWidget *parent = nullptr);

    int module() const { return m_module; }
    void setLit(bool lit);
    bool isLit() const { return m_lit; }

    static QColor litColour();
    static QColor darkColour();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_module;
    bool m_lit = false;
};
