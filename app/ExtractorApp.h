#pragma once

// The application: it runs the one dialog modally and ends when the dialog closes.
class CExtractorApp {
public:
    // Runs the dialog; returns FALSE so that no message loop of its own follows.
    bool InitInstance();
};

extern CExtractorApp theApp;
