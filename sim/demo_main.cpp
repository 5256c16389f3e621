// Runs whole transfers of the engine against the simulated controller, in
// memory, and prints what the log box would show. Without arguments it makes
// a small firmware image and a small catalogue of its own.

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "loopback_rig.h"

namespace {

using velmoro::UpdateType;

int RunOne(const std::filesystem::path& path, UpdateType type) {
    velmoro::sim::CLoopbackRig rig(3);
    rig.SetDataFile(path);
    rig.SetUpdateType(type);
    rig.Run();
    std::printf("== %s: %s\n", type == UpdateType::MainProgram ? "Main Program" : "Object Catalog",
                path.string().c_str());
    for (const std::string& line : rig.Log()) {
        std::printf("log: %.*s\n", static_cast<int>(line.size() - 2), line.c_str());
    }
    const auto& controller = rig.Controller();
    const auto& written =
        type == UpdateType::MainProgram ? controller.Internal() : controller.External();
    std::printf("controller: %zu commands, %zu blocks written, %zu bytes received, %s\n",
                controller.Commands().size(), written.size(), rig.BytesSent(),
                controller.Violations().empty() ? "no violations" : "VIOLATIONS:");
    for (const std::string& violation : controller.Violations()) {
        std::printf("  %s\n", violation.c_str());
    }
    return controller.Finished() && controller.Violations().empty() ? 0 : 1;
}

void WriteSamples(const std::filesystem::path& image, const std::filesystem::path& catalogue) {
    std::ofstream firmware(image, std::ios::binary);
    for (int i = 0; i < 2500; ++i) {
        firmware.put(static_cast<char>(i * 7));
    }
    std::ofstream lines(catalogue, std::ios::binary);
    for (int i = 1; i <= 20; ++i) {
        lines << "OBJ" << i << "   ,Sample object " << i
              << "  ,1234,7,1.5,20.25,0.1,300,0,0,0,0,\r\n";
    }
    lines << "-------- second section --------\r\n";
    for (int i = 1; i <= 20; ++i) {
        lines << i << ",Star " << i << "  ,1234,7,1.5,20.25,0.1,300,0,0,0,0,2.5\r\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && (std::strcmp(argv[1], "main") == 0 || std::strcmp(argv[1], "catalog") == 0)) {
        const UpdateType type =
            std::strcmp(argv[1], "main") == 0 ? UpdateType::MainProgram : UpdateType::ObjectCatalog;
        return RunOne(argv[2], type);
    }
    if (argc != 1) {
        std::fprintf(stderr, "usage: %s [main|catalog FILE]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "velmoro-demo";
    std::filesystem::create_directories(dir);
    WriteSamples(dir / "firmware.bin", dir / "catalog.txt");
    const int image = RunOne(dir / "firmware.bin", UpdateType::MainProgram);
    const int catalogue = RunOne(dir / "catalog.txt", UpdateType::ObjectCatalog);
    return image != 0 ? image : catalogue;
}
