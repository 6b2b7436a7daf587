// Measures the window's construction with many registered products, split
// into the registry part and the list part, and prints the figures. Start-up
// should grow in step with the number of products.
#include <doctest/doctest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/Main.h"
#include "registry/Regedit.h"

namespace {
double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

void Register(int count) {
    ts::ResetFamilyKey();
    HKEY h = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, ts::kUninstallPaths, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
    for (int i = 0; i < count; ++i) {
        const std::wstring name = L"Product " + std::to_wstring(i);
        const std::wstring cmd = L"C:\\Program Files\\Quillbrook\\" + name + L"\\unins000.exe";
        RegSetValueExW(h, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(cmd.c_str()),
                       static_cast<DWORD>((cmd.size() + 1) * sizeof(wchar_t)));
    }
    RegCloseKey(h);
}
}  // namespace

TEST_CASE("time to build the window with many products") {
    Application->Initialize();
    Application->SetTitle(L"Uninstall");
    std::printf("%8s %12s %12s %12s %8s\n", "products", "window ms", "registry ms", "list ms", "rows");
    // PRODUCT_COUNTS="1000,5000,20000" measures other sizes.
    std::vector<int> counts{1000, 10000};
    if (const char* env = std::getenv("PRODUCT_COUNTS")) {
        counts.clear();
        for (const char* p = env; *p;) {
            counts.push_back(std::atoi(p));
            while (*p && *p != ',') ++p;
            if (*p) ++p;
        }
    }
    for (int count : counts) {
        Register(count);
        double best = 1e30, bestRegistry = 1e30, bestList = 1e30;
        int rows = 0;
        for (int round = 0; round < 3; ++round) {
            // The registry half alone: the names, then one read per name.
            double t0 = Now();
            {
                TRegedit reg(ts::kUninstallPaths, HKEY_LOCAL_MACHINE);
                TStringList names;
                reg.GetValueNames(names);
                for (int i = 0; i < names.Count(); ++i) reg.ReadString(names[i], UnicodeString());
            }
            bestRegistry = std::min(bestRegistry, Now() - t0);

            t0 = Now();
            TfrmMain* form = new TfrmMain(Application);
            best = std::min(best, Now() - t0);
            rows = form->lvApp->Count();

            // The list half alone: the same rows again, as the load adds them.
            t0 = Now();
            TListView& list = *form->lvApp;
            list.BeginUpdate();
            list.Clear();
            for (int i = 0; i < count; ++i) {
                TListItem row = list.Add();
                row.SetChecked(false);
                row.SetCaption(L"Product " + std::to_wstring(i));
                row.SubItems().Add(L"C:\\Program Files\\Quillbrook\\unins000.exe");
            }
            list.EndUpdate();
            bestList = std::min(bestList, Now() - t0);
            delete form;
        }
        std::printf("%8d %12.1f %12.1f %12.1f %8d\n", count, best, bestRegistry, bestList, rows);
        std::fflush(stdout);
    }
    ts::ResetFamilyKey();
}
