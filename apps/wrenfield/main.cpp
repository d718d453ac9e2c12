#include "wrenfield_form.h"

#include "monitor/program_start.h"

namespace {

const monitor::ProgramText kProgram{
    "wrenfield", "Wrenfield 测试台",
    "Wrenfield 测试台：24 "
    "个指示灯跟随串口上检测板的各路状态，点击绿色或红色指示灯向检测板发送命令，\n"
    "切换那一路。它是窗口程序，需要图形界面；没有图形界面时请用 boardctl。",
    "Wrenfield, the test console: 24 lamps follow the channels of a detection board on a serial\n"
    "line, and a click on a green or red lamp sends the board a command that switches that "
    "channel.\n"
    "It is a window and needs a graphical display; without one, use boardctl."};

} // namespace

int main(int argc, char* argv[])
{
    return monitor::RunWindow<console::WrenfieldForm>(argc, argv, kProgram);
}
