#include "browser/BrowserActions.h"

struct BrowserActions::Private {
    Host host;
    QWidget *window = nullptr;
};

BrowserActions::BrowserActions(Host host, QWidget *window, QObject *parent)
    : QObject(parent), d(new Private{std::move(host), window})
{
}

BrowserActions::~BrowserActions()
{
    delete d;
}

void BrowserActions::showOptions() {}
void BrowserActions::addToPlaylist() {}
void BrowserActions::newFolder() {}
bool BrowserActions::hasClipboardEntry() const { return false; }
bool BrowserActions::isPasting() const { return false; }
