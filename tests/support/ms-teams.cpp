// Stands in for the Teams client under Wine: a process whose image is ms-teams.exe, until it
// is ended.
#include <windows.h>

int main() {
    ::Sleep(600'000);
    return 0;
}
