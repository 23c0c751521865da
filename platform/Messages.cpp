#include "platform/Messages.h"

#include "platform/Format.h"

#include <array>
#include <atomic>

namespace {

constexpr TRLTextRow FailureRows[] = {
    { u"Não há espaço no disco", u"No space left on the disk", u"Plus d'espace sur le disque",
        u"No queda espacio en el disco" },
    { u"Arquivo muito grande", u"File too large", u"Fichier trop volumineux", u"Archivo demasiado grande" },
    { u"Permissão negada", u"Permission denied", u"Permission refusée", u"Permiso denegado" },
    { u"Sistema de arquivos somente leitura", u"Read-only file system",
        u"Système de fichiers en lecture seule", u"Sistema de archivos de solo lectura" },
    { u"Pasta não encontrada", u"Folder not found", u"Dossier introuvable", u"Carpeta no encontrada" },
    { u"Não é uma pasta", u"Not a folder", u"Ce n'est pas un dossier", u"No es una carpeta" },
    { u"Erro de entrada e saída", u"Input/output error", u"Erreur d'entrée/sortie",
        u"Error de entrada/salida" },
    { u"Arquivos abertos demais", u"Too many open files", u"Trop de fichiers ouverts",
        u"Demasiados archivos abiertos" },
    { u"Erro desconhecido", u"Unknown error", u"Erreur inconnue", u"Error desconocido" },
    { u"Não foi possível criar o arquivo \"%1\": %2", u"Could not create the file \"%1\": %2",
        u"Impossible de créer le fichier \"%1\" : %2", u"No se pudo crear el archivo \"%1\": %2" },
    { u"Não foi possível gravar o arquivo \"%1\": %2", u"Could not write the file \"%1\": %2",
        u"Impossible d'écrire le fichier \"%1\" : %2", u"No se pudo escribir el archivo \"%1\": %2" },
    { u"Não foi possível abrir o arquivo \"%1\": %2", u"Could not open the file \"%1\": %2",
        u"Impossible d'ouvrir le fichier \"%1\" : %2", u"No se pudo abrir el archivo \"%1\": %2" },
    { u"Não foi possível ler o arquivo \"%1\": %2", u"Could not read the file \"%1\": %2",
        u"Impossible de lire le fichier \"%1\" : %2", u"No se pudo leer el archivo \"%1\": %2" },
    { u"Não foi possível gravar o arquivo temporário em \"%1\": %2",
        u"Could not write the temporary file in \"%1\": %2",
        u"Impossible d'écrire le fichier temporaire dans \"%1\" : %2",
        u"No se pudo escribir el archivo temporal en \"%1\": %2" },
    { u"Não foi possível ler o arquivo temporário em \"%1\": %2",
        u"Could not read the temporary file in \"%1\": %2",
        u"Impossible de lire le fichier temporaire dans \"%1\" : %2",
        u"No se pudo leer el archivo temporal en \"%1\": %2" },
    { u"A pasta temporária \"%1\" não pode ser usada: %2", u"The temporary folder \"%1\" cannot be used: %2",
        u"Le dossier temporaire \"%1\" est inutilisable : %2",
        u"La carpeta temporal \"%1\" no se puede usar: %2" },
    { u"A pasta temporária \"%1\" não pode ser usada (%2); usando \"%3\"",
        u"The temporary folder \"%1\" cannot be used (%2); using \"%3\"",
        u"Le dossier temporaire \"%1\" est inutilisable (%2) ; utilisation de \"%3\"",
        u"La carpeta temporal \"%1\" no se puede usar (%2); se usa \"%3\"" },
    { u"Não é possível gravar \"%1\" na pasta \"%2\": %3", u"Cannot write \"%1\" in the folder \"%2\": %3",
        u"Impossible d'écrire \"%1\" dans le dossier \"%2\" : %3",
        u"No se puede escribir \"%1\" en la carpeta \"%2\": %3" },
    { u"Interrompido por %1: \"%2\" não foi gravado", u"Interrupted by %1: \"%2\" was not written",
        u"Interrompu par %1 : \"%2\" n'a pas été écrit", u"Interrumpido por %1: \"%2\" no se escribió" },
    { u"Interrompido por %1", u"Interrupted by %1", u"Interrompu par %1", u"Interrumpido por %1" },
    { u"O arquivo de páginas passaria de 2 GB", u"The page store file would exceed 2 GB",
        u"Le fichier de pages dépasserait 2 Go", u"El archivo de páginas superaría 2 GB" },
    { u"Arquivo não encontrado", u"File not found", u"Fichier non trouvé", u"Archivo no encontrado" },
};

static_assert(std::size(FailureRows) == RLFailureMessageCount, "every failure message needs its four texts");

const auto& FailureColumns()
{
    static const auto columns = RLTextColumns(FailureRows);
    return columns;
}

constexpr int NoLanguageChosen = -1;
std::atomic<int> ActiveLanguage { NoLanguageChosen };

const QString& EmptyText()
{
    static const QString empty;
    return empty;
}

} // namespace

TRLLanguage RLLanguageFor(int primaryLanguageId)
{
    switch (primaryLanguageId & 0x3FF) {
    case 0x16:
        return lgPortuguese;
    case 0x0C:
        return lgFrench;
    case 0x0A:
        return lgSpanish;
    default:
        return lgEnglish;
    }
}

void RLSelectLanguage(int primaryLanguageId)
{
    ActiveLanguage.store(RLLanguageFor(primaryLanguageId));
}

TRLLanguage RLActiveLanguage()
{
    int language = ActiveLanguage.load();
    if (language == NoLanguageChosen) {
        // Two threads racing here compute the same answer from the same locale.
        int expected = NoLanguageChosen;
        ActiveLanguage.compare_exchange_strong(expected, RLLanguageFor(LocalePrimaryLanguage()));
        language = ActiveLanguage.load();
    }
    return static_cast<TRLLanguage>(language);
}

const QString& RLFailureTextIn(TRLLanguage language, int message)
{
    const int column = static_cast<int>(language);
    if (column < 0 || column >= RLLanguageCount || message < 0 || message >= RLFailureMessageCount)
        return EmptyText();
    return FailureColumns()[column][message];
}

const QString& RLFailureText(int message)
{
    return RLFailureTextIn(RLActiveLanguage(), message);
}
