// The workspace files of the runtime's editor, bProj\something.sws and
// bProj\template.sws: sections of keys, with the editor windows as binary
// records written as hexadecimal bytes.
#include <cstdio>
#include <string_view>

#include "generator/generated_texts.h"
#include "generator/project_builder.h"

namespace generator {

namespace {

void putInt(std::vector<std::uint8_t>& out, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>((bits >> shift) & 0xffu));
    }
}

// A length-prefixed string without terminator; empty is the length 0 alone.
void putString(std::vector<std::uint8_t>& out, std::string_view text) {
    putInt(out, static_cast<std::int32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

class Workspace {
  public:
    void section(std::string_view name) {
        text_ += "section \"";
        text_ += name;
        text_ += "\"\n";
    }
    void endSection() { text_ += "\n"; }
    void integer(std::string_view key, int value) {
        keyPrefix(key, "integer");
        text_ += std::to_string(value);
        text_ += "\n";
    }
    void text(std::string_view key, std::string_view value) {
        keyPrefix(key, "text");
        text_ += "\"";
        text_ += value;
        text_ += "\"\n";
    }
    void binary(std::string_view key, const std::vector<std::uint8_t>& bytes) {
        keyPrefix(key, "binary");
        text_ += binaryValueText(bytes);
        text_ += "\n";
    }
    std::string take() { return std::move(text_); }

  private:
    void keyPrefix(std::string_view key, std::string_view type) {
        text_ += "\"";
        text_ += key;
        text_ += "\" (all) =(";
        text_ += type;
        text_ += ") ";
    }
    std::string text_;
};

// The editor windows of the two workspaces. The names and paths are those the
// workspaces were saved with; they are not files of the generated project.
EditorRecord startupEditor() {
    EditorRecord e;
    e.name = "startup.pc";
    e.showState = 2;
    e.minimisedX = 0;
    e.minimisedY = 670;
    e.normal = {0, 0, 640, 480};
    e.assetType = "Vellico";
    e.folder = "/Vellico";
    e.path = "H:\\morvantum\\Ex1_Hello\\Vellico\\startup.pc";
    return e;
}

EditorRecord keyEditor() {
    EditorRecord e;
    e.name = "key.hfsm";
    e.showState = 1;
    e.normal = {0, -1, 640, 479};
    e.assetType = "HFSM";
    e.folder = "/State Machines";
    e.path = "H:\\morvantum\\Ex1_Hello\\StateMachines\\key.hfsm";
    return e;
}

EditorRecord emptyEditor() {
    EditorRecord e;
    const std::uint8_t marker[4] = {0x6f, 0x6c, 0x6f, 0x20};
    for (int i = 0; i < 4; ++i) e.marker[i] = marker[i];
    e.showState = 1;
    e.minimisedX = 160;
    e.minimisedY = 670;
    e.normal = {46, 46, 686, 526};
    return e;
}

EditorRecord crowdEditor() {
    EditorRecord e;
    e.name = "crowd.pc";
    e.showState = 1;
    e.normal = {0, 0, 705, 694};
    e.assetType = "Vellico";
    e.folder = "/Vellico";
    e.path = "C:\\Tallowind\\MORVANTA_1.5\\ProjectTemplates\\Morvanta\\Vellico\\crowd.pc";
    return e;
}

}  // namespace

std::vector<std::uint8_t> encodeWindowRect(const WindowRect& rect) {
    std::vector<std::uint8_t> out;
    putInt(out, 1);
    putInt(out, rect.left);
    putInt(out, rect.top);
    putInt(out, rect.right);
    putInt(out, rect.bottom);
    return out;
}

// The nine integers after the marker follow the platform's window-placement
// record from its show command on.
std::vector<std::uint8_t> encodeEditor(const EditorRecord& editor) {
    std::vector<std::uint8_t> out;
    putString(out, editor.name);
    out.insert(out.end(), editor.marker, editor.marker + 4);
    putInt(out, editor.showState);
    putInt(out, editor.minimisedX);
    putInt(out, editor.minimisedY);
    putInt(out, editor.maximisedX);
    putInt(out, editor.maximisedY);
    putInt(out, editor.normal.left);
    putInt(out, editor.normal.top);
    putInt(out, editor.normal.right);
    putInt(out, editor.normal.bottom);
    putString(out, editor.assetType);
    putString(out, editor.folder);
    putString(out, editor.path);
    return out;
}

std::string binaryValueText(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    out.reserve(bytes.size() * 4 + bytes.size() / 19 + 1);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "x%02x", static_cast<unsigned>(bytes[i]));
        out += hex;
        if (i + 1 < bytes.size()) {
            out += ',';
            if ((i + 1) % 19 == 0) out += '\n';
        }
    }
    return out;
}

std::string workspaceText() {
    Workspace w;
    w.section("WorkspaceBreakpoints");
    w.integer("NumBreakpoints", 0);
    w.integer("Version", 2);
    w.endSection();
    w.section("WorkspaceDebuggerWndPos");
    w.binary("Position", encodeWindowRect({69, 69, 709, 549}));
    w.endSection();
    w.section("WorkspaceEditors");
    w.binary("Editor0", encodeEditor(startupEditor()));
    w.binary("Editor1", encodeEditor(keyEditor()));
    w.binary("Editor2", encodeEditor(emptyEditor()));
    w.integer("NumEditors", 3);
    w.integer("Version", 3);
    w.endSection();
    w.section("WorkspaceProjectWindow");
    const char* folders[] = {"/Content",
                             "/Content/Actors",
                             "/Content/Actors/Archer",
                             "/Content/Actors/Proxy",
                             "/Content/Actors/Floor",
                             "/Content/Actors/Wall",
                             "/Vellico",
                             "/State Machines"};
    int index = 0;
    for (const char* folder : folders) {
        w.text("FolderID" + std::to_string(index++), folder);
    }
    w.integer("NumFolders", index);
    w.endSection();
    w.section("WorkspaceScriptPos");
    w.integer("NumScriptPos", 1);
    w.binary("ScriptPos0", encodeWindowRect({46, 46, 686, 526}));
    w.endSection();
    w.section("WorkspaceWatchVars");
    w.integer("NumWatchVars", 0);
    w.endSection();
    return w.take();
}

std::string templateWorkspaceText() {
    Workspace w;
    w.section("WorkspaceBreakpoints");
    w.integer("NumBreakpoints", 0);
    w.integer("Version", 2);
    w.endSection();
    w.section("WorkspaceEditors");
    w.binary("Editor0", encodeEditor(crowdEditor()));
    w.integer("NumEditors", 1);
    w.integer("Version", 3);
    w.endSection();
    w.section("WorkspaceProjectWindow");
    w.text("FolderID0", "/Vellico");
    w.integer("NumFolders", 1);
    w.endSection();
    w.section("WorkspaceScriptPos");
    w.integer("NumScriptPos", 0);
    w.endSection();
    w.section("WorkspaceWatchVars");
    w.integer("NumWatchVars", 0);
    w.endSection();
    return w.take();
}

void ProjectBuilder::writeWorkspaceFile(std::string_view systemPath) {
    writeGenerated(systemPath, workspaceText());
}

void ProjectBuilder::writeTemplateWorkspaceFile(std::string_view systemPath) {
    writeGenerated(systemPath, templateWorkspaceText());
}

}  // namespace generator
