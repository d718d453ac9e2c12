#include "kestrel_form.h"

#include "monitor/program_start.h"

namespace {

const monitor::ProgramText kProgram{
    "kestrel", "Kestrel 通道监视",
    "Kestrel 通道监视：24 "
    "个指示灯跟随串口上检测板的各路状态，每一路可按检测板地址起名，名称保存在\n"
    "name.txt 中。它是窗口程序，需要图形界面；没有图形界面时请用 boardctl。",
    "Kestrel, the monitor: 24 lamps follow the channels of a detection board on a serial line, "
    "and\n"
    "each channel carries a name of your own per board address, kept in name.txt. It is a window\n"
    "and needs a graphical display; without one, use boardctl."};

} // namespace

int main(int argc, char* argv[])
{
    return monitor::RunWindow<kestrel::KestrelForm>(argc, argv, kProgram);
}
