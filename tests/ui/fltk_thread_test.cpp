#include <FL/Fl.H>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "ui/fltk/interface_thread.h"

namespace {

using ui::fltk::InterfaceThread;
using namespace std::chrono_literals;

// The interface thread's part of a call: run what workers posted until `done`.
template <class T>
T PumpUntil(std::future<T>& done) {
    while (done.wait_for(0s) != std::future_status::ready) Fl::wait(0.01);
    return done.get();
}

TEST(FltkInterfaceThread, WorkersCallsRunOnTheInterfaceThreadInOrder) {
    InterfaceThread thread;
    std::thread::id ranOn;
    std::vector<int> order;
    auto worker = std::async(std::launch::async, [&] {
        thread.OnInterfaceThread([&] { order.push_back(1); });
        return thread.OnInterfaceThread(
            [&] {
                ranOn = std::this_thread::get_id();
                order.push_back(2);
                return ui::Answer::Yes;
            },
            ui::Answer::No);
    });
    EXPECT_EQ(PumpUntil(worker), ui::Answer::Yes);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

// A question a worker asked while the interface thread was busy with the exit, and every
// one asked after, reads as declined: the box is never shown, and never reads as OK.
TEST(FltkInterfaceThread, QuestionsPendingAtTheCloseAndAfterItAreDeclined) {
    InterfaceThread thread;
    std::atomic<bool> shown{false}, asking{false};
    auto ask = [&] {
        return thread.OnInterfaceThread(
            [&] {
                shown = true;
                return ui::Answer::Ok;
            },
            ui::DecliningAnswer(ui::Buttons::OkCancel));
    };
    auto pending = std::async(std::launch::async, [&] {
        asking = true;
        return ask();
    });
    while (!asking) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(20ms);  // most likely posted by now; either way it declines
    thread.Close();
    EXPECT_EQ(pending.get(), ui::Answer::Cancel);
    EXPECT_EQ(std::async(std::launch::async, ask).get(), ui::Answer::Cancel);
    int ran = 0;
    thread.OnInterfaceThread([&] { ++ran; });  // on the interface thread itself, too
    EXPECT_EQ(ran, 0);
    EXPECT_FALSE(shown);
}

}  // namespace
