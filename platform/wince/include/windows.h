// The part of a Pocket PC SDK's windows.h that PORTMEDIC uses: the types,
// constants and COREDLL.dll functions of app/, platform/win32/ and
// platform/Shell.h, as Windows CE 3.0 on ARM defines them.
//
// On ARM there is one calling convention, so WINAPI and CALLBACK say
// nothing. Every function here is exported by COREDLL.dll by name and
// listed in platform/wince/coredll.def. The resource compiler reads this
// file too (RC_INVOKED): it sees the #defines only.
#pragma once

#define WINAPI
#define CALLBACK

#define TRUE 1
#define FALSE 0

#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#define LOWORD(l) ((WORD)((DWORD_PTR)(l)&0xffff))

// Languages (resources)
#define LANG_ENGLISH 0x09
#define SUBLANG_ENGLISH_US 0x01

// Dialog and message box results and styles
#define IDOK 1
#define MB_OK 0x00000000L

// Messages
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_ACTIVATE 0x0006
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_SETTINGCHANGE 0x001A
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WA_INACTIVE 0

// Window classes, styles and creation
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define WS_VISIBLE 0x10000000L
#define CW_USEDEFAULT ((int)0x80000000)

// Painting and the screen
#define WHITE_BRUSH 0
#define DT_WORDBREAK 0x00000010
#define LOGPIXELSY 90

// Code pages. Windows CE has no "best fit" conversion and so no
// WC_NO_BEST_FIT_CHARS: a character without a byte always becomes '?'.
#define CP_ACP 0
#define MB_PRECOMPOSED 0x00000001

// Registry. CE ignores the access mask; the values are the desktop's.
#define KEY_SET_VALUE 0x0002
#define KEY_READ 0x00020019
#define ERROR_SUCCESS 0L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_MORE_DATA 234L

// The running process: CE gives it as a constant handle (ending the process
// is TerminateProcess on it).
#define GetCurrentProcess() ((HANDLE)(ULONG_PTR)0x42)

// On CE, LoadResource already gives the resource's address.
#define LockResource(h) ((LPVOID)(h))

#ifndef RC_INVOKED

#include <stddef.h>

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef unsigned long DWORD;
typedef unsigned int UINT;
typedef long LONG;
typedef wchar_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef int INT_PTR;
typedef unsigned int UINT_PTR;
typedef long LONG_PTR;
typedef unsigned long ULONG_PTR;
typedef unsigned long DWORD_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef WORD ATOM;
typedef DWORD COLORREF;
typedef DWORD REGSAM;

typedef void* HANDLE;
typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HDC__* HDC;
typedef struct HBRUSH__* HBRUSH;
typedef struct HICON__* HICON;
typedef HICON HCURSOR;
typedef struct HMENU__* HMENU;
typedef struct HACCEL__* HACCEL;
typedef struct HRSRC__* HRSRC;
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef HANDLE HGLOBAL;
typedef HANDLE HGDIOBJ;

#ifdef __cplusplus
static_assert(sizeof(WCHAR) == 2, "CE's wide characters are 16 bits (-fshort-wchar)");
static_assert(sizeof(DWORD) == 4 && sizeof(LPARAM) == 4, "CE is a 32-bit system");
#endif

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT;

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *LPRECT;

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *LPMSG;

typedef struct tagPAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
} PAINTSTRUCT, *LPPAINTSTRUCT;

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef BOOL(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);
typedef int(WINAPI* FARPROC)(void);

typedef struct tagWNDCLASSW {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
} WNDCLASSW;

// A dialog template's header, as the resource stores it (2-byte packing).
#pragma pack(push, 2)
typedef struct {
    DWORD style;
    DWORD dwExtendedStyle;
    WORD cdit;
    short x;
    short y;
    short cx;
    short cy;
} DLGTEMPLATE;
#pragma pack(pop)
typedef const DLGTEMPLATE* LPCDLGTEMPLATEW;

#ifdef __cplusplus
extern "C" {
#endif

// The program's own entry, called by the start-up code (platform/wince).
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nShowCmd);

// Processes, resources, code pages, debugging
BOOL WINAPI TerminateProcess(HANDLE hProcess, DWORD uExitCode);
HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo);
int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax);
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               BOOL* lpUsedDefaultChar);
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar);
void WINAPI OutputDebugStringW(LPCWSTR lpOutputString);
HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName);
// CE's GetProcAddress takes the function's name as wide text.
FARPROC WINAPI GetProcAddressW(HMODULE hModule, LPCWSTR lpProcName);

// Registry
LONG WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                          PHKEY phkResult);
LONG WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcName,
                          LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcClass,
                          void* lpftLastWrite);
LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData);
LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                           const BYTE* lpData, DWORD cbData);
LONG WINAPI RegCloseKey(HKEY hKey);

// Windows and messages
ATOM WINAPI RegisterClassW(const WNDCLASSW* lpWndClass);
HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName,
                            DWORD dwStyle, int X, int Y, int nWidth, int nHeight, HWND hWndParent,
                            HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam);
BOOL WINAPI DestroyWindow(HWND hWnd);
HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName);
BOOL WINAPI SetForegroundWindow(HWND hWnd);
BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow);
BOOL WINAPI UpdateWindow(HWND hWnd);
BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint);
BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect);
BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect);
BOOL WINAPI InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase);
LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
BOOL WINAPI GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
BOOL WINAPI TranslateMessage(const MSG* lpMsg);
LRESULT WINAPI DispatchMessageW(const MSG* lpMsg);
void WINAPI PostQuitMessage(int nExitCode);
HACCEL WINAPI LoadAcceleratorsW(HINSTANCE hInstance, LPCWSTR lpTableName);
int WINAPI TranslateAcceleratorW(HWND hWnd, HACCEL hAccTable, LPMSG lpMsg);
HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName);
int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);
INT_PTR WINAPI DialogBoxIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW lpTemplate,
                                       HWND hWndParent, DLGPROC lpDialogFunc, LPARAM dwInitParam);
BOOL WINAPI EndDialog(HWND hDlg, int nResult);

// Painting
HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint);
BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint);
int WINAPI DrawTextW(HDC hdc, LPCWSTR lpchText, int cchText, LPRECT lprc, UINT format);
HGDIOBJ WINAPI GetStockObject(int i);
HDC WINAPI GetDC(HWND hWnd);
int WINAPI ReleaseDC(HWND hWnd, HDC hDC);
int WINAPI GetDeviceCaps(HDC hdc, int nIndex);

#ifdef __cplusplus
}
#endif

#endif  // RC_INVOKED
