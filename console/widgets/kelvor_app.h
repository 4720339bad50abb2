#pragma once
// The application object: sets the profile location, runs the operator
// window for the whole life of the process, then shuts the server down.
class CKelvorApp {
public:
    // The life of the server; false when it ends (nothing follows it).
    bool InitInstance();
    // The process's exit status once InitInstance has returned: 1 for a
    // start that could not serve (a service manager starts it again).
    int ExitCode() const { return m_exitCode; }
    // The first step of InitInstance: the profile location, Qt's own texts
    // in Chinese, the message boxes.
    static void PrepareApplication();

private:
    int m_exitCode = 0;
};
