// The CAN link on the virtual bus. The bus is shared by every process on the machine, so this
// runs on its own (RUN_SERIAL) and uses a random identifier.
#include "SimClient.h"

#include "Simulator.h"

#include <QCanBus>

#include <gtest/gtest.h>

#include <random>

using namespace simtest;
using namespace zelsim;

namespace {
// One simulator on the virtual bus, one LOOP through it; false when the bus is not there at all.
bool CanRoundTrip(uint32_t Id, std::vector<size_t>& FrameSizes, TByteArray& Echo) {
    TSimConfig c;
    c.Can = "virtualcan:can0:" + std::to_string(Id);
    TSimThread sim(c);
    std::string error;
    if (!sim.Start(&error))
        return false;
    auto transport = CanTransport("can0", Id);
    if (!transport)
        return false;
    TClient client(std::move(transport));
    client.RecordChunks = true;
    const TByteArray payload = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    std::optional<TRx> rx;
    // The simulator's bus connection may still be coming up.
    for (int i = 0; i < 20 && !rx; ++i)
        rx = client.Exchange(LOOP, payload, 100);
    if (rx)
        Echo = rx->Data();
    for (const auto& [at, chunk] : client.Chunks)
        FrameSizes.push_back(chunk.size());
    return true;
}
} // namespace

TEST(CanLink, AnswersInFramesOfEightWithTheNextIdentifier) {
    EnsureApp();
    if (!QCanBus::instance()->plugins().contains("virtualcan"))
        GTEST_SKIP() << "virtualcan plugin not available";
    // A random identifier keeps parallel runs on the shared virtual bus apart.
    std::mt19937 rnd(std::random_device{}());
    for (int round = 0; round < 2; ++round) { // a second simulator after the first has gone
        const uint32_t id = 0x100 + rnd() % 0x600;
        std::vector<size_t> sizes;
        TByteArray echo;
        if (!CanRoundTrip(id, sizes, echo))
            GTEST_SKIP() << "virtual CAN bus not available";
        EXPECT_EQ(echo, (TByteArray{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11})) << "round " << round;
        size_t total = 0;
        for (size_t n : sizes) {
            EXPECT_LE(n, 8u);
            total += n;
        }
        EXPECT_GT(total, 0u);
        EXPECT_EQ(total % 21, 0u); // 8 + 8 + 5 bytes for each answer frame received
    }
}
