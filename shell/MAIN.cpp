#include "shell/MAIN.h"

#include "data/DataModule.h"
#include "shell/DorvikFunction.h"
#include "toolkit/MessageBox.h"

#include <QApplication>
#include <QCloseEvent>

TMainForm* MainForm = nullptr;

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(toolkit::kSystemCaption);
    resize(808, 608);
    FormCreate();
}

TMainForm::~TMainForm()
{
    if (MainForm == this)
        MainForm = nullptr;
}

void TMainForm::FormCreate()
{
    m_dm = new TDM(this);
}

// Release the data module (closing its connection), write the closing marker, end the program.
void TMainForm::runClosingSteps()
{
    if (m_closed)
        return;
    m_closed = true;
    delete m_dm;
    m_dm = nullptr;
    WriteDbMarker();
    QApplication::quit();
}

void TMainForm::ExitSystemClick()
{
    runClosingSteps();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    runClosingSteps();
    event->accept();
}
