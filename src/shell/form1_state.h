#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace quill {

// The main-window state: the one record of every field that the operations share, in its
// declared order. One instance lives for the whole run, inside Form1. Fields not set by
// initVariables or a start-up step start at zero, empty or all-zero.
struct Form1State {
    static constexpr int kBootImageSize = 1905;  // indexes 0..1904; 1904 bytes of data
    static constexpr int kBootImageLimit = 1904;
    static constexpr int kUserBufferStorage = 419;  // indexes 0..418
    static constexpr int kUserBufferRing = 416;     // the ring uses 0..415
    static constexpr int kBlockBufferSize = 131;    // indexes 0..130; 0..127 used
    static constexpr int kBlockSize = 128;
    static constexpr int kReceiveBufferSize = 256;
    static constexpr int kBlockPacketSize = 137;

    std::string bootFileName;
    std::string userFileName;
    std::string recordLine;
    std::array<uint8_t, kBootImageSize> bootImage{};
    int32_t bootLength = 0;
    int32_t bootStartAddress = 0;
    std::array<uint8_t, kUserBufferStorage> UBdata{};
    std::array<int32_t, kUserBufferStorage> UBaddr{};
    int32_t UBwp = 0;
    int32_t UBrp = 0;
    std::array<uint8_t, kBlockBufferSize> blockBuffer{};
    int32_t blockAddress = 0;
    std::string receiveText;
    std::array<uint8_t, kReceiveBufferSize> receiveBuffer{};
    std::array<uint8_t, kBlockPacketSize> blockPacket{};
    int32_t receiveCount = 0;
    bool abortFlag = false;
    bool terminalMode = false;
    bool writeBusy = false;
    bool promptSeen = false;
    bool waitDone = false;
    bool startupDone = false;
    int32_t errorCode = 0;
    uint8_t newlineCode = 0;
    uint8_t promptCode = 0;
    std::array<std::string, 8> comSpeedTable;
    std::array<std::string, 4> comDataTable;
    std::array<std::string, 3> comParityTable;
    std::array<std::string, 2> comStopTable;
    int32_t comSpeedIndex = 0;
    int32_t comDataIndex = 0;
    int32_t comParityIndex = 0;
    int32_t comStopIndex = 0;
};

}  // namespace quill
