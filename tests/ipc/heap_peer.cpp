// The second process of the cross-process heap tests; it reads from descriptor 3 and
// writes to descriptor 4:
//   heap_peer answer <heap>              answer every block sent until the input ends
//   heap_peer hold <heap>                take the heap lock, say "L", wait to be killed
//   heap_peer block <exit|hang> <bytes>  make a named block, send its name and a newline,
//                                        then end or wait to be killed
#include "HeapPeerLoop.h"

#include <nvsupport/ipc/SharedBlock.h>
#include <nvsupport/ipc/SharedBlockHeap.h>
#include <nvsupport/ipc/SharedBlockHeap_p.h>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    const std::string mode = argc > 2 ? argv[1] : "";
    if (mode == "answer") {
        SharedBlockToken token{JString(argv[2])};
        SharedBlockManager* heap = token.get();
        const std::int64_t size = heap->getBlockSize();
        std::int64_t msg[2]; // block, sequence number
        void* data = nullptr;
        while (read(3, msg, sizeof msg) == sizeof msg) {
            if (heap->get(&data, msg[0]) != SBM_OK ||
                !heappeer::marks(data, size, msg[1], false, true))
                return 1;
            heappeer::marks(data, size, msg[1], true, false);
            if (heap->release(msg[0]) != SBM_OK || write(4, msg, sizeof msg) != sizeof msg)
                return 1;
        }
        return 0;
    }
    if (mode == "hold") {
        SharedBlockToken heap{JString(argv[2])};
        if (!nvsupport::detail::SharedHeapAccess::lock(heap.get()) || write(4, "L", 1) != 1)
            return 1;
        for (;;)
            pause();
    }
    if (mode == "block" && argc == 4) {
        JString name = sp_AllocateSharedBlock(static_cast<unsigned>(std::atoi(argv[3])));
        std::string line = std::string(*name) + "\n";
        if (name.isEmpty() || write(4, line.data(), line.size()) != ssize_t(line.size()))
            return 1;
        while (std::string(argv[2]) == "hang")
            pause();
        return 0; // a normal exit: the name goes
    }
    return 2;
}
