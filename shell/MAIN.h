#pragma once

#include <QMainWindow>

class TDM;

// The main window: the frame every function opens in. Creating it makes its own data module the
// current one; closing it runs the closing steps.
class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    void ExitSystemClick();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void runClosingSteps();

    TDM* m_dm = nullptr;
    bool m_closed = false;
};

extern TMainForm* MainForm;
