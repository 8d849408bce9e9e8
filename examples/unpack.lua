-- Unpacking an archive into a new folder (folders made, times restored,
-- names that would climb out of it refused) and packing a folder into a
-- new archive: unpack() and pack() are meant to be copied.
--
--   orhost examples/unpack.lua ARCHIVE FOLDER   unpack ARCHIVE into FOLDER, pack FOLDER as FOLDER.zip
--   orhost examples/unpack.lua [WORK_DIR]       the same with a sample archive made in WORK_DIR

require_plugin("zip")

-- The parts of an entry name ("\" read as "/"), or nil when the name would
-- leave the folder it is unpacked into: absolute, a drive, or a ".." part.
local function safeparts(name)
  if name:find("^[/\\]") or name:find("^%a:") then return nil end
  local parts = {}
  for part in name:gsub("\\", "/"):gmatch("[^/]+") do
    if part == ".." then return nil end
    parts[#parts + 1] = part
  end
  return #parts > 0 and parts or nil
end

-- Unpacks every entry of archive into folder, which must not exist yet.
-- Returns the count unpacked and the names refused.
local function unpack(archive, folder)
  assert(host.mkdir(folder), folder .. " cannot be made (does it exist?)")
  local id, count, refused, folders = zip.OpenArchive(nil, archive), 0, {}, {}
  for i = 0, host.getattribute(zip.GetObjectType(), id, ZIPATTRNUMENTRIES) - 1 do
    local name = zip.GetFileAtIndex(id, i)
    local parts = safeparts(name)
    if not parts then
      refused[#refused + 1] = name
    else
      local path = folder
      for k = 1, #parts - 1 do
        path = path .. "/" .. parts[k]
        host.mkdir(path)  -- false when it exists already
      end
      path = path .. "/" .. parts[#parts]
      local time = zip.GetFileAttributes(id, i).time
      if name:find("[/\\]$") then
        host.mkdir(path)
        folders[#folders + 1] = {path, time}  -- its time is set last: unpacking into it changes it
      else
        zip.ExtractFile(id, i, path)
        host.setattributes(path, {time = time})
      end
      count = count + 1
    end
  end
  zip.CloseArchive(id)
  for k = #folders, 1, -1 do host.setattributes(folders[k][1], {time = folders[k][2]}) end
  return count, refused
end

-- Packs every file and folder below folder into the new archive.
local function pack(folder, archive)
  local id = zip.OpenArchive(nil, archive, 1006)
  local function add(dir, prefix)
    for _, entry in ipairs(assert(host.listdir(dir))) do
      local path, name = dir .. "/" .. entry.name, prefix .. entry.name
      if entry.type == "directory" then
        zip.AddDirectory(id, name)
        add(path, name .. "/")
      else
        zip.AddFile(id, path, {newname = name})
      end
    end
  end
  add(folder, "")
  zip.CloseArchive(id)
end

local archive, folder = arg[1], arg[2]
if not folder then  -- a sample archive, with two names that climb out
  local work = arg[1] or os.tmpname()
  os.remove(work)
  os.execute("mkdir -p '" .. work .. "'")
  archive, folder = work .. "/sample.zip", work .. "/unpacked"
  host.writefile(work .. "/text", "some text\n")
  local id = zip.OpenArchive(nil, archive, 1006)
  zip.AddDirectory(id, "docs/old")
  for _, name in ipairs({"docs/readme.txt", "docs/old/1999.txt", "top.txt", "../evil.txt", "/etc/evil"}) do
    zip.AddFile(id, work .. "/text", {newname = name, time = "24-Dec-1999 18:00:00"})
  end
  zip.CloseArchive(id)
end

local count, refused = unpack(archive, folder)
print(string.format("unpacked %d entries into %s; refused: %s", count, folder, table.concat(refused, ", ")))
pack(folder, folder .. ".zip")
local id = zip.OpenArchive(nil, folder .. ".zip")
print(string.format("packed %s.zip: %d entries", folder, host.getattribute(zip.GetObjectType(), id, ZIPATTRNUMENTRIES)))
zip.CloseArchive(id)
print(string.format("host memory held by the plug-in: %d blocks", host.memory().blocks))
