// A small Windows program with the kinds of resources the setup program
// carries, for the tests that put packages into executables. It exits 0
// when it finds its own RCDATA 101.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return ::FindResourceW(nullptr, MAKEINTRESOURCEW(101), MAKEINTRESOURCEW(10)) ? 0 : 3;
}
