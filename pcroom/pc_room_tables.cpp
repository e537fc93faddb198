#include "pcroom/pc_room_tables.h"

namespace kivro {

namespace {

PcRoomProduct Running(int code, const char* name, const char* process, bool pattern,
                      const char* window) {
  PcRoomProduct p;
  p.code = code;
  p.name = name;
  p.pattern = pattern;
  p.process = process;
  p.window = window;
  return p;
}

PcRoomProduct Installed(int code, const char* name, std::vector<std::string> files) {
  PcRoomProduct p;
  p.code = code;
  p.name = name;
  p.files = std::move(files);
  return p;
}

}  // namespace

std::vector<PcRoomProduct> RunningProgramTable() {
  // Hangul as code page 949 bytes:
  //   \xC7\xC7\xC4\xAB\xB8\xC5\xB4\xCF\xC0\xFA  Pica Manager
  //   \xB0\xD4\xC5\xE4\xC7\xC3\xB7\xAF\xBD\xBA  Geto Plus
  //   \xB9\xF6\xC0\xFC                          version
  //   \xB0\xD4\xC5\xE4\xB5\xF0\xB7\xB0\xBD\xBA  Geto Deluxe
  //   \xBD\xBA\xB8\xB6\xC6\xAE\xB3\xDD          SmartNet
  //   \xBD\xBA\xB8\xB6\xC6\xAE\xBD\xC3\xBD\xBA\xC5\xDB(\xC1\xD6)  Smart System Co.
  return {
      Running('A', "MediaWeb MediaDesk", "CLMANAGER.EXE", false, "CLManager"),
      Running('B', "\xC7\xC7\xC4\xAB\xB8\xC5\xB4\xCF\xC0\xFA", "PMCLIENT.EXE", false,
              "\xC7\xC7\xC4\xAB\xB8\xC5\xB4\xCF\xC0\xFA"),
      // Two blanks after "Version": the title as the product shows it.
      Running('C', "Geto Manager", "AGENT[0-9]+.BIN", true,
              "\xB0\xD4\xC5\xE4\xC7\xC3\xB7\xAF\xBD\xBA Version  (\xB9\xF6\xC0\xFC)"),
      Running('D', "\xB0\xD4\xC5\xE4\xC7\xC3\xB7\xAF\xBD\xBA", "AGENT40.BIN", false,
              "\xB0\xD4\xC5\xE4\xC7\xC3\xB7\xAF\xBD\xBA Version 4.0.7#4"),
      Running('E', "\xB0\xD4\xC5\xE4\xB5\xF0\xB7\xB0\xBD\xBA", "DLAG5X.EXE", false,
              "Deluxe Client"),
      Running('G', "Netimo", "NTMCLI.EXE", false, "ntmcli"),
      Running('I', "Net Commander", "NCCLIENT.EXE", false, "NCClient"),
      Running('J', "Net Commander 4.0", "NETCMDCLIENT.EXE", false, "NetCmdClient"),
      Running('K', "AnyGames", "ANYCLI.EXE", false, "anycli"),
      Running('L', "LoginGAME", "IGC_GGLC.EXE", false, "LoginGAME Client"),
      Running('M', "SmartNet", "NETMON.EXE", false,
              "\xBD\xBA\xB8\xB6\xC6\xAE\xB3\xDD (C)\xBD\xBA\xB8\xB6\xC6\xAE\xBD\xC3\xBD\xBA"
              "\xC5\xDB(\xC1\xD6)"),
      Running('N', "ezClick", "EZCLICK.exe", false, "ezClick"),
      Running('O', "Gb2001sp", "CLIENT.EXE", false, "Client"),
  };
}

std::vector<PcRoomProduct> InstalledFilesTable(const std::string& system_directory,
                                               const std::string& windows_directory) {
  const std::string& sys = system_directory;
  const std::string& win = windows_directory;
  return {
      Installed('A', "MedieaDesk",
                {sys + "/CLManager.exe", sys + "/MDLanunch.exe", sys + "/MDLCH.dll",
                 sys + "/PicaVNC.exe"}),
      Installed('B', "Pica Manager",
                {sys + "/PmAgent.exe", sys + "/PmClient.exe", sys + "/PicaVNC.exe"}),
      Installed('D', "Geto Plus",
                {sys + "/Agmon.dll", sys + "/AgVer.dll", sys + "/Agent/VerMan.exe",
                 sys + "/Agent/Agent39.bin"}),
      Installed('F', "ACT Deluxe",
                {"C:/Program Files/Act Deluxe/Client/DlxSync.exe",
                 "C:/Program Files/Act Deluxe/Client/dlc.exe", sys + "/dlcmon.bin",
                 sys + "/adcMon.dll"}),
      Installed('H', "Anyware", {sys + "/ntmcli", sys + "/ntmrun.dll", sys + "/VNCHooks.dll"}),
      Installed('I', "Net Commander",
                {"C:/Program Files/NCClient/NCClient.exe", "C:/Program Files/NCClient/NCRS.exe",
                 "C:/Program Files/NCClient/Ncrsh.dll", win + "/NCSys.exe"}),
      Installed('J', "Net Commander 4.0",
                {"C:/Program Files/NetCmdClient/NetCmdClient.exe",
                 "C:/Program Files/NetCmdClient/NCInitializer.exe",
                 "C:/Program Files/NetCmdClient/NCRS.exe",
                 "C:/Program Files/NetCmdClient/Ncrsh.dll", win + "/netCmdSys.exe"}),
      Installed('L', "LoginGAME", {sys + "/inetsrv.exe", sys + "/inetldr.exe"}),
      Installed('N', "Easy Click",
                {"C:/Program Files//ezClick/ezClick.exe", sys + "/ezMon.exe", sys + "/ezDummy.exe",
                 sys + "/ezrsB.dll", sys + "/ezrsC.dll"}),
      Installed('O', "Gb2001sp",
                {"C:/Program Files/Artcom/Client/Client.exe",
                 "C:/Program Files/Artcom/Client/Client1.dll"}),
  };
}

}  // namespace kivro
