-- A short tour of zip.orp: build an archive, look inside it, extract from it,
-- change it, and finally read and write inside it through the host's own
-- file functions (the file adapter).
--
--   orhost examples/tour.lua [WORK_DIR]
--
-- Everything the tour makes lies in WORK_DIR (default: a fresh folder under
-- /tmp), which it leaves behind for you to look at.

local function say(...) print(string.format(...)) end
local function title(text) print("\n== " .. text) end
-- Text shown in quotes, without its line end.
local function quoted(text) return '"' .. tostring(text):gsub("\n$", "") .. '"' end

-- A progress bar for the callbacks of zip.CloseArchive and zip.ExtractFile.
local function progressbar(t)
  local filled = t.progress // 5
  io.write(string.format("\r   %-12s [%s%s] %3d%%", t.action, ("#"):rep(filled), ("."):rep(20 - filled), t.progress))
  if t.progress == 100 then io.write("  " .. (t.userdata or "") .. "\n") end
  io.flush()
end

local work = arg[1]
if not work then
  work = os.tmpname()
  os.remove(work)
end
os.execute("mkdir -p '" .. work .. "'")
local function path(name) return work .. "/" .. name end

title("Loading the plug-in")
require_plugin("zip")
local info = host.plugininfo("zip")
say("   %s %d.%d: %s", info.displayname, info.version, info.revision, info.description)
say("   help for one command: %s", host.help("zip.OpenArchive"))

-- Some files to put into an archive.
host.writefile(path("readme.txt"), "Welcome to the tour!\n")
host.writefile(path("notes.txt"), "Notes are private.\n")
local lines = {}
for i = 1, 20000 do lines[i] = string.format("line %05d: the quick brown fox jumps over the lazy dog", i) end
host.writefile(path("big.txt"), table.concat(lines, "\n"))

title("Building an archive")
local archive = path("tour.zip")
-- nil asks for an automatic id; mode 1006 writes a new archive.
local id = zip.OpenArchive(nil, archive, 1006)
zip.AddDirectory(id, "docs")
zip.AddFile(id, path("readme.txt"), {newname = "docs/readme.txt", comment = "start here",
                                     time = "24-Dec-2023 18:00:00", compression = ZIP_CM_STORE})
zip.AddFile(id, path("big.txt"), {compression = ZIP_CM_DEFLATE, compressionflags = 9})
zip.AddFile(id, path("notes.txt"), {encryption = ZIP_EM_AES_256, password = "secret"})
zip.SetFileComment(id, "made by the zip.orp tour")
say("   added %d entries; writing them now:", host.getattribute(zip.GetObjectType(), id, ZIPATTRNUMENTRIES))
zip.CloseArchive(id, 0, progressbar, "written")

title("Looking inside")
zip.OpenArchive(1, archive)  -- an explicit id, read-only (the default mode)
local count = host.getattribute(zip.GetObjectType(), 1, ZIPATTRNUMENTRIES)
say("   %d entries; archive comment: %q", count, zip.GetFileComment(1))
local methods = {[ZIP_CM_STORE] = "store", [ZIP_CM_DEFLATE] = "deflate", [ZIP_CM_BZIP2] = "bzip2"}
say("   %-3s %-16s %7s %7s  %-8s %-20s %s", "idx", "name", "size", "packed", "method", "time", "encryption")
for i = 0, count - 1 do
  local a = zip.GetFileAttributes(1, i)
  say("   %-3d %-16s %7d %7d  %-8s %-20s %s", i, zip.GetFileAtIndex(1, i), a.size, a.compressedsize,
      methods[a.compression] or tostring(a.compression), a.time, a.encryption == ZIP_EM_NONE and "none" or "AES-256")
end
say("   LocateFile(\"README.TXT\", nocase, nodir) -> %d",
    zip.LocateFile(1, "README.TXT", {nocase = 1, nodir = 1}))
say("   comment of docs/readme.txt: %q", zip.GetFileComment(1, zip.LocateFile(1, "docs/readme.txt")))

title("Extracting")
zip.ExtractFile(1, zip.LocateFile(1, "big.txt"), path("big-copy.txt"),
                {callback = progressbar, userdata = "big.txt extracted"})
say("   the copy is %s", host.readfile(path("big-copy.txt")) == host.readfile(path("big.txt")) and "identical" or "DIFFERENT")
local ok, err = pcall(zip.ExtractFile, 1, zip.LocateFile(1, "notes.txt"), path("notes-copy.txt"))
say("   notes.txt without its password: %s", ok and "extracted?!" or err)
zip.ExtractFile(1, zip.LocateFile(1, "notes.txt"), path("notes-copy.txt"), {password = "secret"})
say("   notes.txt with its password: %s", quoted(host.readfile(path("notes-copy.txt"))))
zip.CloseArchive(1)

title("Changing entries")
zip.OpenArchive(2, archive, 1004)  -- read and write
zip.RenameFile(2, zip.LocateFile(2, "big.txt"), "docs/big.txt")
zip.SetFileTime(2, zip.LocateFile(2, "docs/big.txt"), "01-Jan-2024 00:00:00")
zip.DeleteFile(2, zip.LocateFile(2, "notes.txt"))
zip.CloseArchive(2, 0, progressbar, "rewritten")
zip.OpenArchive(2, archive)
for i = 0, host.getattribute(zip.GetObjectType(), 2, ZIPATTRNUMENTRIES) - 1 do
  say("   %-16s %s", zip.GetFileAtIndex(2, i), zip.GetFileAttributes(2, i).time)
end
zip.CloseArchive(2)
local out, good = "", false
local p = io.popen("unzip -tq '" .. archive .. "' 2>&1")
if p then out = p:read("a"); good = p:close() end
if out ~= "" then say("   unzip -t says: %s", (out:gsub("\n+$", ""))) end

title("The file adapter: paths inside archives")
require_plugin("zip", {installadapter = true})
-- The archive's tree, listed with host.listdir the way any folder is.
local function tree(dir, indent)
  for _, entry in ipairs(host.listdir(dir)) do
    local name = indent .. entry.name .. (entry.type == "directory" and "/" or "")
    say("   %-18s %7d  %s", name, entry.size, entry.time)
    if entry.type == "directory" then tree(dir .. "/" .. entry.name, indent .. "  ") end
  end
end
tree(archive, "")
local f = assert(host.open(archive .. "/docs/readme.txt"))
say("   host.open(\".../tour.zip/docs/readme.txt\") is served by %s: %s", f:servedby(), quoted(f:read(100)))
f:close()
-- A text file inside the archive, read line by line as any Lua file is.
local text, count, last = assert(host.open(archive .. "/docs/big.txt")), 0, nil
for line in text:lines() do count, last = count + 1, line end
text:close()
say("   docs/big.txt read line by line: %d lines, the last one %s", count, quoted(last))
host.writefile(archive .. "/docs/visitors.txt", "You were here.\n")
say("   wrote docs/visitors.txt through host.writefile: %s", quoted(host.readfile(archive .. "/docs/visitors.txt")))
local st = host.stat(archive .. "/docs")
say("   host.stat(\".../tour.zip/docs\"): a %s", st and st.type or "nothing")
local save = assert(host.open(archive .. "/saves/slot1.sav", "w"))
save:write("level=3\nscore=4200\n")
save:close()
host.rename(archive .. "/docs/visitors.txt", "guests.txt")
host.rename(archive .. "/saves", "savegames")
say("   wrote saves/slot1.sav, renamed docs/visitors.txt to guests.txt and the folder saves to savegames:")
tree(archive, "")
say("   savegames/slot1.sav reads back: %s", quoted(host.readfile(archive .. "/savegames/slot1.sav")))

title("Done")
say("   host memory still held by the plug-in: %d blocks", host.memory().blocks)
say("   everything the tour made is in %s", work)
