-- A game keeps its data in one archive and reads it through the file
-- adapter as ordinary files: level data line by line, a large asset by
-- random seeks, and a save slot written, overwritten and read back.
--
--   orhost examples/game.lua [WORK_DIR]

local work = arg[1] or os.tmpname()
os.remove(work)
os.execute("mkdir -p '" .. work .. "'")
require_plugin("zip", {installadapter = true})
local game = work .. "/game.zip"
os.remove(game)

-- Packing the game (done once, when it ships): each write makes an entry.
assert(host.writefile(game .. "/levels/1.txt", "name=Cellar\nwidth=40\nheight=12\n"))
local records = {}  -- a 2 MiB asset of numbered 8-byte records
for i = 0, 262143 do records[#records + 1] = string.pack("<I4I4", i, i * 7) end
assert(host.writefile(game .. "/assets/world.bin", table.concat(records)))

-- Level data: key=value lines.
local level = {}
for line in assert(host.open(game .. "/levels/1.txt")):lines() do
  local key, value = line:match("^(%w+)=(.*)$")
  level[key] = tonumber(value) or value
end
print(string.format("level %s: %d x %d", level.name, level.width, level.height))

-- The asset: jump to records anywhere in it, as a game streams them.
local world = assert(host.open(game .. "/assets/world.bin"))
local count, wrong = world:seek("end") // 8, 0
for _ = 1, 300 do
  local n = math.random(0, count - 1)
  world:seek("set", n * 8)
  local id, value = string.unpack("<I4I4", world:read(8))
  if id ~= n or value ~= n * 7 then wrong = wrong + 1 end
end
world:close()
print(string.format("world.bin: %d records, 300 random reads, %d wrong", count, wrong))

-- A save slot: written, then overwritten by a later save, then loaded.
local slot = game .. "/saves/slot1.txt"
local function save(fields)
  local f = assert(host.open(slot, "w"))
  for key, value in pairs(fields) do assert(f:write(key, "=", value, "\n")) end
  assert(f:close(), "the save was not written")
end
save({level = 1, score = 0})
save({level = 2, score = 4200})
local loaded = {}
for line in assert(host.open(slot)):lines() do
  local key, value = line:match("^(%w+)=(.*)$")
  loaded[key] = value
end
print(string.format("save slot reads back: level=%s, score=%s", loaded.level, loaded.score))

collectgarbage()  -- closes the files the line loops left open
print(string.format("host memory held by the plug-in: %d blocks", host.memory().blocks))
