// Tessig, the history logger: one instance, a header line in log/history.csv,
// a readings report once a second until the stop datagram arrives.
#include "logger/history_file.h"
#include "logger/logger.h"
#include "logger/stop_word.h"
#include "gpu/stop_datagram.h"
#include "files/held_folder.h"
#include "system/loading.h"

#include <winsock2.h>

#include <cstdio>

namespace {

const char historyHeader[] = ",Current(GRAPHICS),Current(MEMORY),Base(GRAPHICS),Base(MEMORY),"
                             "Boost(GRAPHICS),Boost(MEMORY),Load,Temperature,Power(Draw),"
                             "Power(Limit),P-State\r\n"; // as text mode wrote it

void appendHistoryHeader() {
    // A folder too long for the path gets no header, rather than a header in
    // a file of a cut-off name.
    const std::wstring path = historyPathFor(tessig.workDir);
    if (path.empty())
        return;
    const HeldFolder folder =
        holdFolder(path.substr(0, path.rfind(L'/')).c_str(), FolderUse::existing);
    if (folder.held())
        appendToHistory(folder.get(), L"history.csv", historyHeader, sizeof historyHeader - 1);
}

// Waits for one datagram on a socket of its own; true when it was the stop word.
// Only this machine may stop the logger, so the socket listens on loopback alone.
bool receiveOneDatagram() {
    char buffer[stopBufferSize] = {};
    bool bound = false;
    int received = 0, receiveError = 0;
    {
        const StopSocket listener;
        sockaddr_in address = stopAddress();
        bound = listener.valid() &&
                bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (bound) {
            received = recv(listener.get(), buffer, stopBufferSize, 0);
            receiveError = received == SOCKET_ERROR ? WSAGetLastError() : 0;
        }
    }
    // With the port taken by another program, or a receive that fails at
    // once, try again about a second later instead of spinning.
    if (listenerPausesAfter(bound, received == SOCKET_ERROR, receiveError == WSAEMSGSIZE))
        Sleep(1000);
    return isStopDatagram(buffer);
}

DWORD WINAPI listenForStop(LPVOID) {
    for (;;) {
        if (receiveOneDatagram()) {
            tessig.loggerRunning = 0;
            return 0;
        }
        Sleep(1);
    }
}

} // namespace

int main() {
    restrictDllSearch();
    tessig.loggerRunning = 1;
    // The last error is read before anything else can set it.
    HANDLE mutex = CreateMutexA(nullptr, TRUE, loggerMutexName);
    const bool anotherInstance = GetLastError() == ERROR_ALREADY_EXISTS;
    tessig.instanceMutex.reset(mutex);
    if (!mutex || anotherInstance)
        return 0;

    initLogger();
    appendHistoryHeader();

    // Nothing waits for the listener: its handle goes at once.
    OwnedObject{CreateThread(nullptr, 0, listenForStop, nullptr, 0, nullptr)};

    printReport();
    while (tessig.loggerRunning) {
        Sleep(1000);
        printReport();
    }

    tessig.instanceMutex.reset();
    return 0;
}
