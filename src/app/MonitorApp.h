#pragma once

#include "app/CVolUserApp.h"
#include "engine/VolumePlatform.h"
#include "ui/MainForm.h"

// The application: it owns the main window and adds nothing else.
class MonitorApp : public CVolUserApp {
public:
    explicit MonitorApp(VolumePlatform& platform) : mainForm(platform) {}

    CVolWinForm& MainWindow() override { return mainForm; }

private:
    MainForm mainForm;
};
